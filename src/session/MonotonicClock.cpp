#include "MonotonicClock.h"

#include <chrono>

#include <time.h>

namespace {
std::int64_t read(clockid_t clock) {
    timespec now{};
    ::clock_gettime(clock, &now);
    return std::int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
}
} // namespace

std::int64_t SteadyMonotonicClock::nowNs() const {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::int64_t BootTimeClock::nowNs() const {
    return read(CLOCK_BOOTTIME);
}

std::int64_t BootTimeClock::suspendedNs() const {
    // The two clocks advance together while the machine runs; reading the monotonic one on both
    // sides halves the noise of reading them one after the other.
    const std::int64_t before = read(CLOCK_MONOTONIC);
    const std::int64_t boot = read(CLOCK_BOOTTIME);
    const std::int64_t after = read(CLOCK_MONOTONIC);
    return boot - (before + (after - before) / 2);
}
