#include "StopSignal.h"

namespace corlune::server {

void StopSignal::request() {
    {
        const std::lock_guard lock(mutex_);
        requested_ = true;
    }
    changed_.notify_all();
}

bool StopSignal::requested() const {
    const std::lock_guard lock(mutex_);
    return requested_;
}

bool StopSignal::waitFor(std::chrono::milliseconds duration) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, duration, [this] { return requested_; });
}

} // namespace corlune::server
