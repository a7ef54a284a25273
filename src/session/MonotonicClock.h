#pragma once

#include <cstdint>

/// A clock that only moves forward, unaffected by changes of the system time.
/// Units: nanoseconds since an arbitrary fixed origin. Always available.
class MonotonicClock {
public:
    virtual ~MonotonicClock() = default;
    virtual std::int64_t nowNs() const = 0;
};

/// std::chrono::steady_clock.
class SteadyMonotonicClock final : public MonotonicClock {
public:
    std::int64_t nowNs() const override;
};
