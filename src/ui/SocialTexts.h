#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QString>

/// The four lines of the social metrics panel, as pure functions of the analytics answer.
namespace SocialTexts {

struct SocialLines {
    QString instagram;
    QString tiktok;
    QString website;
    QString latest;

    bool operator==(const SocialLines&) const = default;
};

/// A JSON value as the panel shows it: a string unchanged, a number as its shortest decimal
/// digits (integers without exponent or fraction), true/false and null as in JSON, an object or
/// an array as compact JSON.
QString valueText(const QJsonValue& value);

/// The lines for one analytics answer. Only "instagram" and "tiktok" and, below them,
/// "totalImpressions" and "latest" are read; a member that is absent, or lies below something
/// that is not an object, counts as missing.
SocialLines linesFromResponse(const QJsonObject& response);

} // namespace SocialTexts
