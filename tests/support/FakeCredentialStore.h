#pragma once

#include "CredentialStore.h"

#include <QHash>

/// A secret store in memory, keyed by "employee|job" as the real one is, with its refusals.
class FakeCredentialStore final : public CredentialStore {
public:
    bool kcSavePassword(const QString& password, const QString& employeeId,
                        const std::optional<QString>& jobId) override {
        if (password.isEmpty() || employeeId.isEmpty())
            return false;
        items.insert(employeeId + u'|' + jobId.value_or(QString()), password);
        return true;
    }

    std::optional<QString> kcLoadPasswordForEmployee(const QString& employeeId,
                                                     const std::optional<QString>& jobId) override {
        const auto it = items.constFind(employeeId + u'|' + jobId.value_or(QString()));
        if (employeeId.isEmpty() || it == items.constEnd())
            return std::nullopt;
        return *it;
    }

    QHash<QString, QString> items;
};
