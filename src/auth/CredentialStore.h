#pragma once

#include <QString>

#include <optional>

/// The stored sign-in password, one per (employee ID, job ID) pair, in the desktop's secret
/// store. Calls block until the store answers (bounded). Without a usable store, save answers
/// false and load answers none: the program then simply does not remember; it never falls
/// back to keeping the password anywhere else.
class CredentialStore {
public:
    virtual ~CredentialStore() = default;
    /// Replaces the pair's password. False for an empty password or employee ID (the store is
    /// not touched) and whenever the store refuses. An absent job ID counts as "".
    virtual bool kcSavePassword(const QString& password, const QString& employeeId,
                                const std::optional<QString>& jobId) = 0;
    /// The pair's password, or none (empty employee ID, no item, store unavailable, not UTF-8).
    virtual std::optional<QString> kcLoadPasswordForEmployee(const QString& employeeId,
                                                             const std::optional<QString>& jobId) = 0;
};
