#pragma once

#include "JsonTransport.h"

#include <QJsonValue>
#include <QString>

#include <optional>

/// The decisions of the once-per-launch update check, as pure functions.
namespace UpdateCheck {

/// \a bundled is the program's own version as built; "1.0.0" when it is empty.
QString currentAppVersion(const QString& bundled);
/// The version this build carries.
QString currentAppVersion();

/// True when \a candidate is strictly newer than \a reference. Both must be non-empty strings:
/// trimmed, lower-cased, one leading "v" dropped, split at ".", each component read as its
/// leading integer (missing components are 0).
bool isVersionNewerThan(const QJsonValue& candidate, const QJsonValue& reference);

/// What to offer for a reply of GET "/api/version": the reply's "version" member as it came
/// (Undefined when absent), or nothing when no update is to be offered.
std::optional<QJsonValue> versionToOffer(const JsonReply& reply, const QString& ownVersion);

/// The informative text of the offer.
QString promptText(const QJsonValue& offered, const QString& ownVersion);

} // namespace UpdateCheck
