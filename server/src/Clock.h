#pragma once

#include "Timestamp.h"

#include <chrono>
#include <cstdint>

namespace corlune::server {

/// The clocks the time-based rules read; tests hand in one they advance by hand.
class Clock {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    virtual ~Clock() = default;
    /// Monotonic: for waits and delays, which must not jump with the wall clock.
    virtual TimePoint now() const = 0;
    /// The wall clock: for what outlives the process, such as a token's expiry.
    virtual UnixSeconds unixNow() const = 0;
    /// The wall clock in milliseconds since 1970: for what several instances of the service
    /// share, such as the sign-in slow-down kept in PostgreSQL.
    virtual std::int64_t unixMillis() const = 0;
};

class SystemClock final : public Clock {
public:
    TimePoint now() const override { return std::chrono::steady_clock::now(); }
    UnixSeconds unixNow() const override {
        return std::chrono::duration_cast<std::chrono::seconds>(
                   std::chrono::system_clock::now().time_since_epoch())
            .count();
    }
    std::int64_t unixMillis() const override {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::system_clock::now().time_since_epoch())
            .count();
    }
};

} // namespace corlune::server
