#pragma once

#include <cstdint>

/// A clock that only moves forward, unaffected by changes of the system time.
/// Units: nanoseconds since an arbitrary fixed origin. Always available.
class MonotonicClock {
public:
    virtual ~MonotonicClock() = default;
    virtual std::int64_t nowNs() const = 0;
    /// How long the machine has been suspended since an arbitrary fixed origin, in nanoseconds;
    /// it grows only across a sleep. A clock that stops in suspend cannot tell and answers 0.
    virtual std::int64_t suspendedNs() const { return 0; }
};

/// std::chrono::steady_clock (CLOCK_MONOTONIC): stops while the machine sleeps, as the X
/// server's idle counter does.
class SteadyMonotonicClock final : public MonotonicClock {
public:
    std::int64_t nowNs() const override;
};

/// CLOCK_BOOTTIME: keeps running while the machine sleeps, so that a sleep counts as the time
/// it lasted; what it ran ahead of CLOCK_MONOTONIC is the time spent suspended.
class BootTimeClock final : public MonotonicClock {
public:
    std::int64_t nowNs() const override;
    std::int64_t suspendedNs() const override;
};
