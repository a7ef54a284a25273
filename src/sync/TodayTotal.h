#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include <optional>

class TimeClockApi;
class TotalView;
class WallClock;
struct SyncState;

/// The "Total today: " line: the work the service has recorded for the signed-in employee and
/// job since the start of the local day, fetched after sign-in. GUI thread only. Its answers come
/// through the TimeClockApi it is handed, which must not outlive it.
class TodayTotal {
public:
    /// A second refresh within this many seconds of the last one sends nothing.
    static constexpr qint64 throttleSeconds = 15;

    TodayTotal(const SyncState& sync, TimeClockApi& api, const WallClock& wall);
    TodayTotal(const TodayTotal&) = delete;
    TodayTotal& operator=(const TodayTotal&) = delete;

    /// The label to write; none until the window exists. Not owned.
    void setView(TotalView* view) { this->view = view; }

    /// The instant the current day began in the system's time zone.
    QDateTime startOfToday() const;

    /// While online and signed in, and not within 15 s of the last attempt, asks for the summary
    /// from the start of today to now, and shows its "totalWorkMs" when it comes; any other
    /// answer leaves the label as it was. Returns at once.
    void refreshTotalToday();

    /// When the last refresh got as far as sending; none before the first.
    std::optional<QDateTime> lastTotalRefresh;

    /// The start of the local day containing \a now (the first valid instant of that day when
    /// it does not begin at midnight), in the time zone the C library uses (TZ).
    static QDateTime startOfLocalDayContaining(const QDateTime& now);
    /// The label text for a summary answer: "Total today: HH:MM:SS" of "totalWorkMs" rounded to
    /// whole seconds, halves away from zero; none when the member is missing or not a number.
    static std::optional<QString> totalText(const QJsonObject& summary);

private:
    const SyncState& sync;
    TimeClockApi& api;
    const WallClock& wall;
    TotalView* view = nullptr;
};
