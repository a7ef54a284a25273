#pragma once

#include <QString>

#include <optional>

/// What the employee typed into one sign-in dialog, exactly as typed.
struct SignInEntry {
    QString employeeId;
    QString password;
    QString jobId;
    bool staySignedIn = true;
};

/// Shows one fresh sign-in dialog (empty fields, "Stay signed in" on) and waits.
class SignInPrompt {
public:
    virtual ~SignInPrompt() = default;
    /// The entry when "Sign In" was pressed; none for "Quit" or a closed dialog.
    virtual std::optional<SignInEntry> askForCredentials() = 0;
};
