#pragma once

#include "UserDefaults.h"

#include <QHash>
#include <QVariant>

/// User defaults in memory; counts flushes.
class FakeUserDefaults final : public UserDefaults {
public:
    QString stringForKey(const QString& key) const override { return values.value(key).toString(); }
    void setString(const QString& key, const QString& value) override { values.insert(key, value); }
    bool boolForKey(const QString& key) const override { return values.value(key).toBool(); }
    void setBool(const QString& key, bool value) override { values.insert(key, value); }
    void synchronize() override { ++synchronizations; }

    QHash<QString, QVariant> values;
    int synchronizations = 0;
};
