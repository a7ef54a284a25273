#pragma once

#include "CredentialStore.h"

#include <QHash>

/// A secret store in memory with the real store's refusals and account naming.
class FakeCredentialStore final : public CredentialStore {
public:
    static QString account(const QString& employeeId, const std::optional<QString>& jobId) {
        return employeeId + u'|' + jobId.value_or(QString());
    }

    bool kcSavePassword(const QString& password, const QString& employeeId,
                        const std::optional<QString>& jobId) override {
        ++saves;
        if (password.isEmpty() || employeeId.isEmpty() || !available)
            return false;
        items.insert(account(employeeId, jobId), password);
        return true;
    }

    std::optional<QString> kcLoadPasswordForEmployee(const QString& employeeId,
                                                     const std::optional<QString>& jobId) override {
        ++loads;
        if (employeeId.isEmpty() || !available)
            return std::nullopt;
        const auto it = items.constFind(account(employeeId, jobId));
        if (it == items.constEnd())
            return std::nullopt;
        return *it;
    }

    QHash<QString, QString> items;
    bool available = true;
    int saves = 0;
    int loads = 0;
};
