#pragma once

#include "Clock.h"

namespace corlune::server::test {

/// A clock that moves only when told to.
class FakeClock final : public Clock {
public:
    TimePoint now() const override { return now_; }
    void advance(std::chrono::milliseconds by) { now_ += by; }

private:
    TimePoint now_{std::chrono::hours(1000)};
};

} // namespace corlune::server::test
