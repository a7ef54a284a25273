#pragma once

#include "MonotonicClock.h"
#include "QtPrinters.h"
#include "WallClock.h"

#include <chrono>
#include <cstdint>

/// Both clocks of a test, advanced together by hand.
class FakeMonotonicClock final : public MonotonicClock {
public:
    std::int64_t nowNs() const override { return ns; }
    std::int64_t suspendedNs() const override { return suspended; }
    std::int64_t ns = 1'000'000'000'000; // an arbitrary origin far from zero
    std::int64_t suspended = 0;
};

class FakeWallClock final : public WallClock {
public:
    QDateTime now() const override { return instant; }
    QDateTime instant = QDateTime(QDate(2024, 3, 5), QTime(10, 0, 0), Qt::UTC);
};

struct FakeTime {
    FakeMonotonicClock monotonic;
    FakeWallClock wall;

    void advance(std::chrono::nanoseconds d) {
        monotonic.ns += d.count();
        wall.instant =
            wall.instant.addMSecs(std::chrono::duration_cast<std::chrono::milliseconds>(d).count());
    }
    /// The machine is suspended for \a d: every clock moves on but the idle source's.
    void sleep(std::chrono::nanoseconds d) {
        advance(d);
        monotonic.suspended += d.count();
    }
};
