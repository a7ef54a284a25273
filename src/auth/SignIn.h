#pragma once

#include <QString>

#include <functional>

class Alerts;
class CredentialStore;
class SignInPrompt;
class UserDefaults;
struct SyncState;

/// Signs the employee in once per process: automatically with the remembered credentials,
/// else through the sign-in dialog, which repeats until the service accepts or the user quits.
class SignIn {
public:
    using Verify =
        std::function<bool(const QString& employeeId, const QString& jobId, const QString& password)>;

    struct Services {
        SyncState& sync;
        CredentialStore& credentials;
        UserDefaults& defaults;
        SignInPrompt& prompt;
        Alerts& alerts;
        /// Asks the service; true exactly when it accepted the triple.
        Verify verify;
        /// Runs after every successful sign-in (panel visibility and refreshes).
        std::function<void()> afterSignIn;
    };

    explicit SignIn(Services services);
    SignIn(const SignIn&) = delete;
    SignIn& operator=(const SignIn&) = delete;

    bool isAuthenticated = false;
    bool rememberMe = false;

    /// Signs in with the remembered pair and stored password; never shows anything.
    bool attemptAutoLogin();
    /// The dialog loop; false only when the user chose "Quit".
    bool presentLogin();

private:
    void succeed(const QString& employeeId, const QString& jobId);

    Services services;
};
