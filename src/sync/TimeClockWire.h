#pragma once

#include "SyncState.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QtGlobal>

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

/// Whether a verification answer accepts the credentials: "ok" present and reading as true.
bool verificationAccepted(const std::optional<QJsonObject>& answer);

/// Percent-encodes every UTF-8 byte outside ASCII letters, digits and "-", ".", "_", "~" as %XX
/// (uppercase hex), so that no value can add or split query parameters.
QString encodeQueryValue(const QString& value);

/// "/api/time/summary?employeeId=…&jobId=…&from=…&to=…" with each value encoded on its own.
QString summaryPath(const QString& employeeId, const QString& jobId, const QString& fromText,
                    const QString& toText);

} // namespace TimeClockWire
