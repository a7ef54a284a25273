#pragma once

#include "UserDefaults.h"

#include <QSettings>

/// The user defaults in QSettings for organisation "Corlune" and application "Corlune Track":
/// on Linux the file "$XDG_CONFIG_HOME/Corlune/Corlune Track.conf". Writes reach the file at
/// synchronize(), at the event loop's next idle moment, or at destruction, whichever is first.
class QSettingsUserDefaults final : public UserDefaults {
public:
    QSettingsUserDefaults();
    QSettingsUserDefaults(const QSettingsUserDefaults&) = delete;
    QSettingsUserDefaults& operator=(const QSettingsUserDefaults&) = delete;

    QString stringForKey(const QString& key) const override;
    void setString(const QString& key, const QString& value) override;
    /// True for a stored true, a non-zero number or the text "true" or "yes" (any case); false
    /// for everything else, absent keys included.
    bool boolForKey(const QString& key) const override;
    void setBool(const QString& key, bool value) override;
    void synchronize() override;

private:
    QSettings settings;
};
