#pragma once

#include "CredentialStore.h"

#include <chrono>

/// The stored passwords in the freedesktop Secret Service (GNOME Keyring, KWallet, KeePassXC...)
/// through libsecret's synchronous calls. One item per pair: schema "com.corlune.track",
/// attributes "service" = "com.corlune.track" and "account" = "<employee>|<job>", the secret
/// being the password's UTF-8 bytes. A call still waiting after the bound (a locked keyring whose
/// unlock prompt cannot show) is cancelled and fails; without a Secret Service every call fails
/// at once. There is never a fallback to another place.
class SecretServiceCredentialStore final : public CredentialStore {
public:
    /// \a bound: how long one save or load may wait for the store, long enough for a person to
    /// type the keyring's password into its unlock prompt.
    explicit SecretServiceCredentialStore(std::chrono::milliseconds bound = std::chrono::minutes(2));

    bool kcSavePassword(const QString& password, const QString& employeeId,
                        const std::optional<QString>& jobId) override;
    std::optional<QString> kcLoadPasswordForEmployee(const QString& employeeId,
                                                     const std::optional<QString>& jobId) override;

    /// The item's "account" attribute: employee ID, "|", job ID (an absent job counts as "").
    static QString account(const QString& employeeId, const std::optional<QString>& jobId);

private:
    std::chrono::milliseconds bound;
};
