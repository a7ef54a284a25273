#include "MonotonicClock.h"

#include <chrono>

std::int64_t SteadyMonotonicClock::nowNs() const {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
