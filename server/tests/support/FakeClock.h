#pragma once

#include "Clock.h"

namespace corlune::server::test {

/// A clock that moves only when told to; both of its readings move together.
class FakeClock final : public Clock {
public:
    TimePoint now() const override { return steady; }
    UnixSeconds unixNow() const override { return unix; }
    std::int64_t unixMillis() const override { return unix * 1000; }
    void advance(std::chrono::seconds by) {
        steady += by;
        unix += by.count();
    }

private:
    TimePoint steady{std::chrono::hours(1000)};
    UnixSeconds unix = 1709640000; // 2024-03-05T12:00:00Z
};

} // namespace corlune::server::test
