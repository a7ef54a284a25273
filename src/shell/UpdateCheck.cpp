#include "UpdateCheck.h"

#include "LeadingInteger.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <limits>

namespace UpdateCheck {

QString currentAppVersion(const QString& bundled) {
    return bundled.isEmpty() ? QStringLiteral("1.0.0") : bundled;
}

QString currentAppVersion() {
    return currentAppVersion(QStringLiteral(CORLUNE_VERSION));
}

namespace {

QStringList components(const QString& version) {
    QString text = version.trimmed().toLower();
    if (text.startsWith(u'v'))
        text.remove(0, 1);
    return text.split(u'.'); // empty components stay, and read as 0
}

QString textForm(const QJsonValue& value) {
    switch (value.type()) {
    case QJsonValue::String:
        return value.toString();
    case QJsonValue::Double: {
        const double d = value.toDouble();
        const qint64 whole = value.toInteger(std::numeric_limits<qint64>::min());
        return whole != std::numeric_limits<qint64>::min() ? QString::number(whole)
                                                           : QString::number(d, 'g', 17);
    }
    case QJsonValue::Bool:
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case QJsonValue::Null:
        return QStringLiteral("null");
    case QJsonValue::Array:
        return QString::fromUtf8(QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact));
    case QJsonValue::Object:
        return QString::fromUtf8(QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact));
    case QJsonValue::Undefined:
        break;
    }
    return {};
}

} // namespace

bool isVersionNewerThan(const QJsonValue& candidate, const QJsonValue& reference) {
    if (!candidate.isString() || !reference.isString())
        return false;
    const QString a = candidate.toString();
    const QString b = reference.toString();
    if (a.isEmpty() || b.isEmpty())
        return false;
    const QStringList ca = components(a);
    const QStringList cb = components(b);
    const qsizetype n = std::max(ca.size(), cb.size());
    for (qsizetype i = 0; i < n; ++i) {
        const qint64 x = i < ca.size() ? leadingInteger(ca.at(i)) : 0;
        const qint64 y = i < cb.size() ? leadingInteger(cb.at(i)) : 0;
        if (x != y)
            return x > y;
    }
    return false;
}

std::optional<QJsonValue> versionToOffer(const JsonReply& reply, const QString& ownVersion) {
    if (!isSuccessStatus(reply.status) || !reply.result)
        return std::nullopt;
    const QJsonValue version = reply.result->value(QLatin1String("version"));
    const QJsonValue available = reply.result->value(QLatin1String("updateAvailable"));
    bool offer = false;
    if (available.isBool())
        offer = available.toBool();
    else if (available.isDouble())
        offer = available.toDouble() != 0.0;
    else
        offer = isVersionNewerThan(version, QJsonValue(ownVersion));
    if (!offer)
        return std::nullopt;
    return version;
}

QString promptText(const QJsonValue& offered, const QString& ownVersion) {
    return QStringLiteral("A new version %1 is available (you have %2).").arg(textForm(offered), ownVersion);
}

} // namespace UpdateCheck
