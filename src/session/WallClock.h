#pragma once

#include <QDateTime>

/// The system's calendar clock, for every instant that is reported to the service.
/// Answers a UTC QDateTime with millisecond precision. Always available.
class WallClock {
public:
    virtual ~WallClock() = default;
    virtual QDateTime now() const = 0;
};

class SystemWallClock final : public WallClock {
public:
    QDateTime now() const override { return QDateTime::currentDateTimeUtc(); }
};
