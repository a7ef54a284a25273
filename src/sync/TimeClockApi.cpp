#include "TimeClockApi.h"

#include "IsoFormatter.h"
#include "JsonTransport.h"
#include "OfflineQueue.h"
#include "WallClock.h"

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
    const std::optional<QByteArray> token = TimeClockWire::signInToken(transport.sendJSONRequestMethod(
        QStringLiteral("POST"), TimeClockWire::verifyPath(),
        QJsonValue(TimeClockWire::verificationBody(employeeId, jobId, password))));
    if (token)
        sync.tokens[{employeeId, jobId}] = *token;
    return token.has_value();
}

void TimeClockApi::verifyAgain(const ReportOwner& owner, const QString& password) {
    transport.sendAsync(QStringLiteral("POST"), TimeClockWire::verifyPath(),
                        QJsonValue(TimeClockWire::verificationBody(owner.first, owner.second, password)),
                        &replies, [this, owner](const JsonReply& reply) {
                            if (const std::optional<QByteArray> token = TimeClockWire::signInToken(reply)) {
                                sync.tokens[owner] = *token;
                                queue.flushPendingIfOnline();
                            }
                        });
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
    queue.enqueueRequestMethod(QStringLiteral("POST"), path, body);
}

void TimeClockApi::timeSummaryFrom(const std::optional<QDateTime>& from, const std::optional<QDateTime>& to,
                                   std::function<void(const std::optional<QJsonObject>&)> done) {
    if (!sync.isOnline)
        return;
    const QString toText = timestamp(to);
    const QString fromText = isoFormatter().stringFromDate(
        from && from->isValid() ? *from : QDateTime::fromSecsSinceEpoch(0, Qt::UTC));
    const QString path =
        TimeClockWire::summaryPath(sync.employeeId.value_or(QString()), sync.jobId, fromText, toText);
    transport.sendAsync(QStringLiteral("GET"), path, std::nullopt, &replies,
                        [done = std::move(done)](const JsonReply& reply) { done(reply.result); },
                        {{}, sync.token()});
}
