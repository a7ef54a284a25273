#pragma once

#include "EventReports.h"
#include "SyncState.h"
#include "TimeClockWire.h"

#include <QDateTime>
#include <QJsonObject>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class JsonTransport;
class OfflineQueue;
class WallClock;

/// The time-clock calls to the service: the verification at sign-in, the five event reports
/// of a work session and the summary request behind today's total. GUI thread only; only the
/// verification at sign-in waits for the service, for up to 15 s.
///
/// A report is committed to the durable queue when it is made, under a UUID sent as
/// "Idempotency-Key" on every attempt, and delivered from there (OfflineQueue): at once while
/// online, in the order the reports were made.
class TimeClockApi final : public EventReports {
public:
    TimeClockApi(SyncState& sync, JsonTransport& transport, OfflineQueue& queue, const WallClock& wall);
    TimeClockApi(const TimeClockApi&) = delete;
    TimeClockApi& operator=(const TimeClockApi&) = delete;

    /// True only for a 2xx answer without error whose "ok" reads as true; its token is then kept
    /// for the employee and job (SyncState::tokens). Sent whatever the connectivity says; never
    /// queued. A redirected verification is refused: the transport follows no redirect.
    bool apiVerifyEmployee(const QString& employeeId, const QString& jobId, const QString& password);
    /// The same verification without waiting, for an owner whose token the service no longer
    /// takes: a new token is kept and the queue flushed; a refusal changes nothing.
    void verifyAgain(const ReportOwner& owner, const QString& password);

    void apiClockInAt(const std::optional<QDateTime>& at) override;
    void apiClockOutAt(const std::optional<QDateTime>& at) override;
    void apiBreakStartAt(const std::optional<QDateTime>& at) override;
    void apiBreakStopAt(const std::optional<QDateTime>& at) override;
    /// Reports nothing at all when neither count is above 0.
    void apiTrackInputsFrom(const std::optional<QDateTime>& from, const std::optional<QDateTime>& to,
                            qint64 keystrokes, qint64 clicks) override;

    /// Asks for the summary of [from, to] (absent: the Unix epoch and now) with the signed-in
    /// employee's token, without waiting; \a done later gets the answer object, whatever its
    /// status, or nothing when no JSON object came back. Nothing is asked, and \a done never
    /// runs, while offline. Never queued.
    void timeSummaryFrom(const std::optional<QDateTime>& from, const std::optional<QDateTime>& to,
                         std::function<void(const std::optional<QJsonObject>&)> done);

private:
    void reportEvent(TimeClockWire::Event event, const std::optional<QDateTime>& at);
    void report(const QString& path, const QJsonObject& body);
    QString timestamp(const std::optional<QDateTime>& at) const;

    SyncState& sync;
    JsonTransport& transport;
    OfflineQueue& queue;
    const WallClock& wall;
    /// Receives the answers of the requests that do not wait: they die with this object.
    QObject replies;
};
