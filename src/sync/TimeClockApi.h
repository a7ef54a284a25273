#pragma once

#include "EventReports.h"
#include "TimeClockWire.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include <optional>

class JsonTransport;
class OfflineQueue;
class WallClock;
struct SyncState;

/// The time-clock calls to the service: the verification at sign-in, the five event reports
/// of a work session and the summary request behind today's total. GUI thread only; every call
/// that sends blocks for up to 15 s.
///
/// Each report gets a UUID when it is made, sent as "Idempotency-Key" on every attempt. While
/// online a report is sent at once and queued when that send is not answered with a 2xx status;
/// while offline, or while older reports still wait in the queue, it goes straight to the queue,
/// so that it never overtakes them.
class TimeClockApi final : public EventReports {
public:
    TimeClockApi(SyncState& sync, JsonTransport& transport, OfflineQueue& queue, const WallClock& wall);
    TimeClockApi(const TimeClockApi&) = delete;
    TimeClockApi& operator=(const TimeClockApi&) = delete;

    /// True only for a 2xx answer without error whose "ok" reads as true. Sent whatever the
    /// connectivity says; never queued.
    bool apiVerifyEmployee(const QString& employeeId, const QString& jobId, const QString& password);

    void apiClockInAt(const std::optional<QDateTime>& at) override;
    void apiClockOutAt(const std::optional<QDateTime>& at) override;
    void apiBreakStartAt(const std::optional<QDateTime>& at) override;
    void apiBreakStopAt(const std::optional<QDateTime>& at) override;
    /// Reports nothing at all when neither count is above 0.
    void apiTrackInputsFrom(const std::optional<QDateTime>& from, const std::optional<QDateTime>& to,
                            qint64 keystrokes, qint64 clicks) override;

    /// The summary answer for [from, to] (absent: the Unix epoch and now), whatever its status;
    /// nothing while offline or when no JSON object came back. Never queued.
    std::optional<QJsonObject> timeSummaryFrom(const std::optional<QDateTime>& from,
                                               const std::optional<QDateTime>& to);

private:
    void reportEvent(TimeClockWire::Event event, const std::optional<QDateTime>& at);
    void report(const QString& path, const QJsonObject& body);
    QString timestamp(const std::optional<QDateTime>& at) const;

    SyncState& sync;
    JsonTransport& transport;
    OfflineQueue& queue;
    const WallClock& wall;
};
