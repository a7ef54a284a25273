#include "TimeClockWire.h"

#include <QByteArray>
#include <QLocale>

#include <algorithm>

namespace TimeClockWire {

QString pathOf(Event event) {
    switch (event) {
    case Event::ClockIn:
        return QStringLiteral("/api/time/clock-in");
    case Event::ClockOut:
        return QStringLiteral("/api/time/clock-out");
    case Event::BreakStart:
        return QStringLiteral("/api/break/start");
    case Event::BreakStop:
        return QStringLiteral("/api/break/stop");
    }
    Q_UNREACHABLE();
}

QString memberOf(Event event) {
    switch (event) {
    case Event::ClockIn:
        return QStringLiteral("clockIn");
    case Event::ClockOut:
        return QStringLiteral("clockOut");
    case Event::BreakStart:
        return QStringLiteral("start");
    case Event::BreakStop:
        return QStringLiteral("end");
    }
    Q_UNREACHABLE();
}

QString verifyPath() {
    return QStringLiteral("/api/users/verify");
}

QString inputPath() {
    return QStringLiteral("/api/input/track");
}

namespace {
// QJsonValue(QString()) would be a string too, but an explicit "" keeps null and empty alike.
QJsonValue text(const QString& s) {
    return s.isNull() ? QJsonValue(QStringLiteral("")) : QJsonValue(s);
}
} // namespace

QJsonObject verificationBody(const QString& employeeId, const QString& jobId, const QString& password) {
    return {{QStringLiteral("employeeId"), text(employeeId)},
            {QStringLiteral("jobId"), text(jobId)},
            {QStringLiteral("password"), text(password)}};
}

QJsonObject eventBody(Event event, const SyncState& sync, const QString& instantText) {
    return {{QStringLiteral("employeeId"), text(sync.employeeId.value_or(QString()))},
            {QStringLiteral("jobId"), text(sync.jobId)},
            {memberOf(event), text(instantText)}};
}

QJsonObject inputBody(const SyncState& sync, const QString& startedAt, const QString& endedAt,
                      qint64 keystrokes, qint64 clicks) {
    return {{QStringLiteral("employeeId"), text(sync.employeeId.value_or(QString()))},
            {QStringLiteral("jobId"), text(sync.jobId)},
            {QStringLiteral("keystrokes"), QJsonValue(keystrokes)},
            {QStringLiteral("clicks"), QJsonValue(clicks)},
            {QStringLiteral("startedAt"), text(startedAt)},
            {QStringLiteral("endedAt"), text(endedAt)}};
}

bool readsAsTrue(const QJsonValue& value) {
    if (value.isBool())
        return value.toBool();
    if (value.isDouble())
        return value.toDouble() != 0.0;
    if (!value.isString())
        return false;
    const QString s = value.toString();
    qsizetype i = 0;
    while (i < s.size() && s[i].isSpace())
        ++i;
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-'))
        ++i;
    while (i < s.size() && s[i] == u'0')
        ++i;
    if (i == s.size())
        return false;
    const QChar c = s[i];
    return c == u'Y' || c == u'y' || c == u'T' || c == u't' || (c >= u'1' && c <= u'9');
}

std::optional<QByteArray> signInToken(const JsonReply& reply) {
    if (!isSuccessStatus(reply.status) || reply.error || !reply.result ||
        !readsAsTrue(reply.result->value(QStringLiteral("ok"))))
        return std::nullopt;
    // The token goes into a header of every report: nothing but its own alphabet gets there.
    const QString token = reply.result->value(QStringLiteral("token")).toString();
    const bool wellFormed =
        !token.isEmpty() && token.size() <= 512 && std::all_of(token.begin(), token.end(), [](QChar c) {
            return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
                   QStringView(u"-._~+/=").contains(c);
        });
    return wellFormed ? token.toLatin1() : QByteArray();
}

Delivery deliveryOf(const JsonReply& reply) {
    if (isSuccessStatus(reply.status))
        return reply.error ? Delivery::TryLater : Delivery::Delivered;
    if (reply.status == 401)
        return Delivery::Unauthorized;
    // The service answers every refusal with a JSON object; a page from anyone else (a proxy,
    // a portal) says nothing about the report.
    const bool lasting = reply.status >= 400 && reply.status < 500 && reply.status != 407 &&
                         reply.status != 408 && reply.status != 429;
    return lasting && reply.result ? Delivery::Refused : Delivery::TryLater;
}

std::optional<std::chrono::seconds> retryAfter(const JsonReply& reply, const QDateTime& now) {
    if ((reply.status != 429 && reply.status != 503) || reply.retryAfter.isEmpty())
        return std::nullopt;
    const QByteArray value = reply.retryAfter.trimmed();
    bool isNumber = false;
    qint64 seconds = value.toLongLong(&isNumber);
    if (!isNumber) {
        // The HTTP date's one preferred form, as every server sends it.
        const QDateTime parsed = QLocale::c().toDateTime(QString::fromLatin1(value),
                                                         QStringLiteral("ddd, dd MMM yyyy HH:mm:ss 'GMT'"));
        if (!parsed.isValid())
            return std::nullopt;
        seconds = now.secsTo(QDateTime(parsed.date(), parsed.time(), Qt::UTC));
    }
    return std::chrono::seconds(std::clamp<qint64>(seconds, 0, maxRetryAfter.count()));
}

QString encodeQueryValue(const QString& value) {
    static constexpr char hex[] = "0123456789ABCDEF";
    const QByteArray utf8 = value.toUtf8();
    QByteArray out;
    out.reserve(utf8.size() * 3);
    for (const char byte : utf8) {
        const auto c = static_cast<unsigned char>(byte);
        const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                                c == '-' || c == '.' || c == '_' || c == '~';
        if (unreserved) {
            out.append(byte);
        } else {
            out.append('%');
            out.append(hex[c >> 4]);
            out.append(hex[c & 0xF]);
        }
    }
    return QString::fromLatin1(out);
}

QString summaryPath(const QString& employeeId, const QString& jobId, const QString& fromText,
                    const QString& toText) {
    return QStringLiteral("/api/time/summary?employeeId=%1&jobId=%2&from=%3&to=%4")
        .arg(encodeQueryValue(employeeId), encodeQueryValue(jobId), encodeQueryValue(fromText),
             encodeQueryValue(toText));
}

} // namespace TimeClockWire
