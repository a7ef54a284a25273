#include "QSettingsUserDefaults.h"

QSettingsUserDefaults::QSettingsUserDefaults()
    : settings(QStringLiteral("Corlune"), QStringLiteral("Corlune Track")) {}

QString QSettingsUserDefaults::stringForKey(const QString& key) const {
    return settings.value(key).toString();
}

void QSettingsUserDefaults::setString(const QString& key, const QString& value) {
    settings.setValue(key, value);
}

bool QSettingsUserDefaults::boolForKey(const QString& key) const {
    // The file is text: a bool comes back as the string "true" or "false". QVariant::toBool()
    // would call any other text true, so a hand-edited value of "no" would read as true.
    const QString text = settings.value(key).toString().trimmed();
    bool isNumber = false;
    const qlonglong number = text.toLongLong(&isNumber);
    if (isNumber)
        return number != 0;
    return text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 ||
           text.compare(QLatin1String("yes"), Qt::CaseInsensitive) == 0;
}

void QSettingsUserDefaults::setBool(const QString& key, bool value) {
    settings.setValue(key, value);
}

void QSettingsUserDefaults::synchronize() {
    settings.sync();
}
