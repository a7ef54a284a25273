#include "SocialTexts.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>

#include <cmath>

namespace SocialTexts {

namespace {

const QString notAvailable = QStringLiteral("N/A");

QString numberText(const QJsonValue& value) {
    // Qt keeps JSON integers that fit 64 bits exactly; anything else is a double.
    if (value.toVariant().typeId() == QMetaType::LongLong)
        return QString::number(value.toInteger());
    const double d = value.toDouble();
    // Whole numbers beyond 64 bits still read as digits, up to where 'f' would invent them.
    if (std::isfinite(d) && d == std::floor(d) && std::fabs(d) < 1e21)
        return QString::number(d, 'f', 0);
    return QString::number(d, 'g', QLocale::FloatingPointShortest);
}

QString textOrNotAvailable(const QJsonObject& object, const QString& key) {
    const auto it = object.constFind(key);
    return it == object.constEnd() ? notAvailable : valueText(*it);
}

} // namespace

QString valueText(const QJsonValue& value) {
    switch (value.type()) {
    case QJsonValue::String:
        return value.toString();
    case QJsonValue::Double:
        return numberText(value);
    case QJsonValue::Bool:
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QJsonValue::Null:
        return QStringLiteral("null");
    case QJsonValue::Object:
        return QString::fromUtf8(QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact));
    case QJsonValue::Array:
        return QString::fromUtf8(QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact));
    case QJsonValue::Undefined:
        break;
    }
    return notAvailable;
}

SocialLines linesFromResponse(const QJsonObject& response) {
    // A channel that is present but not an object reads as an empty one: its total is missing
    // and it has no latest post.
    const QJsonObject instagram = response.value(QLatin1String("instagram")).toObject();
    const QJsonObject tiktok = response.value(QLatin1String("tiktok")).toObject();
    const QString total = QStringLiteral("totalImpressions");
    const QString latest = QStringLiteral("latest");
    const QString impressions = QStringLiteral("impressions");

    SocialLines lines;
    lines.instagram = QStringLiteral("Instagram impressions: ") + textOrNotAvailable(instagram, total);
    lines.tiktok = QStringLiteral("TikTok impressions: ") + textOrNotAvailable(tiktok, total);
    lines.website = QStringLiteral("Website (from socials) views: N/A");

    const QJsonValue instagramLatest = instagram.value(latest);
    const QJsonValue tiktokLatest = tiktok.value(latest);
    if (instagramLatest.isObject() && instagramLatest.toObject().contains(impressions)) {
        const QJsonObject post = instagramLatest.toObject();
        const auto timestamp = post.constFind(QLatin1String("timestamp"));
        lines.latest =
            QStringLiteral("Latest post: %1 impressions at %2")
                .arg(valueText(post.value(impressions)),
                     timestamp == post.constEnd() ? QStringLiteral("\u2013") : valueText(*timestamp));
    } else if (tiktokLatest.isObject() && tiktokLatest.toObject().contains(impressions)) {
        lines.latest = QStringLiteral("Latest post: %1 impressions")
                           .arg(valueText(tiktokLatest.toObject().value(impressions)));
    } else {
        lines.latest = QStringLiteral("Latest post: N/A");
    }
    return lines;
}

} // namespace SocialTexts
