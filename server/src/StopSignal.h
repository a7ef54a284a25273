#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace corlune::server {

/// Set once when the service is asked to stop; waits that should not hold up a graceful stop
/// (the test-only answer delay) end early when it is set.
class StopSignal {
public:
    void request();
    bool requested() const;
    /// Waits up to `duration`; true when the stop was requested before it ran out.
    bool waitFor(std::chrono::milliseconds duration);

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool requested_ = false;
};

} // namespace corlune::server
