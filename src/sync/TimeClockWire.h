#pragma once

#include "JsonTransport.h"
#include "SyncState.h"

#include <QDateTime>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QtGlobal>

#include <chrono>
#include <optional>

/// The wire contract with the time-tracking service: paths, request bodies and the reading of
/// answers, as pure functions of their inputs. Instants arrive here already as timestamp texts.
namespace TimeClockWire {

/// The four clock and break events; each has its own path and timestamp member.
enum class Event { ClockIn, ClockOut, BreakStart, BreakStop };

QString pathOf(Event event);
QString memberOf(Event event);

QString verifyPath();
QString inputPath();

/// {"employeeId", "jobId", "password"}; null strings are sent as "".
QJsonObject verificationBody(const QString& employeeId, const QString& jobId, const QString& password);

/// {"employeeId", "jobId", <memberOf(event)>: instantText}; an absent employee is sent as "".
QJsonObject eventBody(Event event, const SyncState& sync, const QString& instantText);

/// The six members of an input report; the counts are JSON integers.
QJsonObject inputBody(const SyncState& sync, const QString& startedAt, const QString& endedAt,
                      qint64 keystrokes, qint64 clicks);

/// How a boolean answer member reads: true, or a number other than 0; a string when, after
/// leading white space, an optional sign and leading zeros, it begins with "Y", "y", "T", "t" or
/// a digit 1 to 9. Null, arrays and objects read as false.
bool readsAsTrue(const QJsonValue& value);

/// The token a verification signs in with: none when the reply does not accept the credentials
/// (a status outside 200..299, an error, or no "ok" reading as true); empty when it accepts them
/// without a well-formed "token" (1 to 512 characters of A-Z a-z 0-9 - . _ ~ + / =).
std::optional<QByteArray> signInToken(const JsonReply& reply);

/// What an answer to a report means for it.
enum class Delivery {
    Delivered,    ///< a 2xx status with an empty or JSON body
    Refused,      ///< refused for good: a 4xx other than 401, 407, 408 and 429, with a JSON object
    Unauthorized, ///< 401: the token is no longer good
    TryLater,     ///< anything else: no answer, a 3xx, a 5xx, a body that is not the service's
};
Delivery deliveryOf(const JsonReply& reply);

/// The longest wait a "Retry-After" can ask for.
inline constexpr std::chrono::seconds maxRetryAfter{600};
/// How long a 429 or 503 answer asks to wait, by its "Retry-After" in seconds or as an HTTP
/// date, at most maxRetryAfter; none for any other answer or a header that is neither.
std::optional<std::chrono::seconds> retryAfter(const JsonReply& reply, const QDateTime& now);

/// Percent-encodes every UTF-8 byte outside ASCII letters, digits and "-", ".", "_", "~" as %XX
/// (uppercase hex), so that no value can add or split query parameters.
QString encodeQueryValue(const QString& value);

/// "/api/time/summary?employeeId=…&jobId=…&from=…&to=…" with each value encoded on its own.
QString summaryPath(const QString& employeeId, const QString& jobId, const QString& fromText,
                    const QString& toText);

} // namespace TimeClockWire
