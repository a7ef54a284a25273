#pragma once

#include "CredentialStore.h"

#include <QByteArray>
#include <QString>

#include <chrono>

/// The stored passwords in the freedesktop Secret Service (GNOME Keyring, KWallet, KeePassXC...)
/// through libsecret's synchronous calls, made by the helper program corlune-track-keyring so
/// that libsecret and GLib never load into the time clock itself. One item per pair: schema
/// "com.corlune.track", attributes "service" = "com.corlune.track" and "account" =
/// "<employee>|<job>", the secret being the password's UTF-8 bytes. Each call blocks until the
/// helper has answered; one still waiting after the bound (a locked keyring whose unlock prompt
/// cannot show) is killed and fails; without a Secret Service or without the helper every call
/// fails at once. There is never a fallback to another place.
class SecretServiceCredentialStore final : public CredentialStore {
public:
    /// \a helper: the path of corlune-track-keyring. \a bound: how long one save or load may
    /// wait for the store, long enough for a person to type the keyring's password into its
    /// unlock prompt.
    explicit SecretServiceCredentialStore(QString helper = defaultHelperPath(),
                                          std::chrono::milliseconds bound = std::chrono::minutes(2));

    bool kcSavePassword(const QString& password, const QString& employeeId,
                        const std::optional<QString>& jobId) override;
    std::optional<QString> kcLoadPasswordForEmployee(const QString& employeeId,
                                                     const std::optional<QString>& jobId) override;

    /// The item's "account" attribute: employee ID, "|", job ID (an absent job counts as "").
    static QString account(const QString& employeeId, const std::optional<QString>& jobId);

    /// Where the installed program keeps its helper (libexec), or beside the program's binary
    /// as in the build tree. Needs a QCoreApplication.
    static QString defaultHelperPath();

private:
    /// The helper's standard output, or none when it did not finish with status 0 in time.
    std::optional<QByteArray> run(const char* operation, QByteArray& input) const;

    QString helper;
    std::chrono::milliseconds bound;
};
