#include "TimeClockApi.h"

#include "IsoFormatter.h"
#include "JsonTransport.h"
#include "OfflineQueue.h"
#include "SyncState.h"
#include "WallClock.h"

#include <QUuid>

using TimeClockWire::Event;

TimeClockApi::TimeClockApi(SyncState& sync, JsonTransport& transport, OfflineQueue& queue,
                           const WallClock& wall)
    : sync(sync)
    , transport(transport)
    , queue(queue)
    , wall(wall) {}

QString TimeClockApi::timestamp(const std::optional<QDateTime>& at) const {
    return isoFormatter().stringFromDate(at && at->isValid() ? *at : wall.now());
}

bool TimeClockApi::apiVerifyEmployee(const QString& employeeId, const QString& jobId,
                                     const QString& password) {
    const JsonReply reply = transport.sendJSONRequestMethod(
        QStringLiteral("POST"), TimeClockWire::verifyPath(),
        QJsonValue(TimeClockWire::verificationBody(employeeId, jobId, password)));
    return isSuccessStatus(reply.status) && !reply.error && TimeClockWire::verificationAccepted(reply.result);
}

void TimeClockApi::apiClockInAt(const std::optional<QDateTime>& at) {
    reportEvent(Event::ClockIn, at);
}

void TimeClockApi::apiClockOutAt(const std::optional<QDateTime>& at) {
    reportEvent(Event::ClockOut, at);
}

void TimeClockApi::apiBreakStartAt(const std::optional<QDateTime>& at) {
    reportEvent(Event::BreakStart, at);
}

void TimeClockApi::apiBreakStopAt(const std::optional<QDateTime>& at) {
    reportEvent(Event::BreakStop, at);
}

void TimeClockApi::apiTrackInputsFrom(const std::optional<QDateTime>& from,
                                      const std::optional<QDateTime>& to, qint64 keystrokes, qint64 clicks) {
    if (keystrokes <= 0 && clicks <= 0)
        return;
    report(TimeClockWire::inputPath(),
           TimeClockWire::inputBody(sync, timestamp(from), timestamp(to), keystrokes, clicks));
}

void TimeClockApi::reportEvent(Event event, const std::optional<QDateTime>& at) {
    report(TimeClockWire::pathOf(event), TimeClockWire::eventBody(event, sync, timestamp(at)));
}

void TimeClockApi::report(const QString& path, const QJsonObject& body) {
    const QString post = QStringLiteral("POST");
    const QByteArray key = QUuid::createUuid().toByteArray(QUuid::WithoutBraces);
    if (sync.isOnline && queue.pendingQueue().isEmpty()) {
        const JsonReply reply = transport.sendJSONRequestMethod(post, path, QJsonValue(body), key);
        if (isSuccessStatus(reply.status))
            return;
    }
    queue.enqueueRequestMethod(post, path, body, key);
}

std::optional<QJsonObject> TimeClockApi::timeSummaryFrom(const std::optional<QDateTime>& from,
                                                         const std::optional<QDateTime>& to) {
    if (!sync.isOnline)
        return std::nullopt;
    const QString toText = timestamp(to);
    const QString fromText = isoFormatter().stringFromDate(
        from && from->isValid() ? *from : QDateTime::fromSecsSinceEpoch(0, Qt::UTC));
    const QString path =
        TimeClockWire::summaryPath(sync.employeeId.value_or(QString()), sync.jobId, fromText, toText);
    return transport.sendJSONRequestMethod(QStringLiteral("GET"), path, std::nullopt).result;
}
