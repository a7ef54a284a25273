#pragma once

#include <QString>

/// The user's small persistent preferences: the remembered sign-in ("CLLastEmpId",
/// "CLLastJobId") and the first-run flag ("CLDidShowFirstRun"). Absent keys read as "" and false.
class UserDefaults {
public:
    virtual ~UserDefaults() = default;
    virtual QString stringForKey(const QString& key) const = 0;
    virtual void setString(const QString& key, const QString& value) = 0;
    virtual bool boolForKey(const QString& key) const = 0;
    virtual void setBool(const QString& key, bool value) = 0;
    /// Writes pending changes to disk now.
    virtual void synchronize() = 0;
};
