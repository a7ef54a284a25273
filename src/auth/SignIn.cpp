#include "SignIn.h"

#include "Alerts.h"
#include "CredentialStore.h"
#include "SignInPrompt.h"
#include "SyncState.h"
#include "UserDefaults.h"

namespace {
const QString lastEmployeeKey = QStringLiteral("CLLastEmpId");
const QString lastJobKey = QStringLiteral("CLLastJobId");
} // namespace

SignIn::SignIn(Services services)
    : services(std::move(services)) {}

void SignIn::succeed(const QString& employeeId, const QString& jobId) {
    isAuthenticated = true;
    services.sync.employeeId = employeeId;
    services.sync.jobId = jobId;
}

bool SignIn::attemptAutoLogin() {
    const QString employeeId = services.defaults.stringForKey(lastEmployeeKey);
    const QString jobId = services.defaults.stringForKey(lastJobKey);
    if (employeeId.isEmpty())
        return false;
    const std::optional<QString> password = services.credentials.kcLoadPasswordForEmployee(employeeId, jobId);
    if (!password || password->isEmpty())
        return false;
    if (!services.sync.isOnline)
        return false;
    if (!services.verify(employeeId, jobId, *password))
        return false;
    succeed(employeeId, jobId);
    rememberMe = true;
    if (services.afterSignIn)
        services.afterSignIn();
    return true;
}

bool SignIn::presentLogin() {
    for (;;) {
        rememberMe = true; // every fresh dialog starts with "Stay signed in" on
        const std::optional<SignInEntry> entry = services.prompt.askForCredentials();
        if (!entry)
            return false;
        rememberMe = entry->staySignedIn;
        if (!services.sync.isOnline) {
            services.alerts.runModal({QStringLiteral("Offline"),
                                      QStringLiteral("You must be online to sign in."),
                                      AlertSpec::Style::Warning,
                                      {QStringLiteral("OK")}});
            continue;
        }
        if (services.verify(entry->employeeId, entry->jobId, entry->password)) {
            succeed(entry->employeeId, entry->jobId);
            if (rememberMe) {
                services.credentials.kcSavePassword(entry->password, entry->employeeId, entry->jobId);
                services.defaults.setString(lastEmployeeKey, entry->employeeId);
                services.defaults.setString(lastJobKey, entry->jobId);
                services.defaults.synchronize();
            }
            if (services.afterSignIn)
                services.afterSignIn();
            return true;
        }
        services.alerts.runModal(
            {QStringLiteral("Sign in failed"),
             QStringLiteral("Invalid employee ID, job ID, or password. Please try again."),
             AlertSpec::Style::Warning,
             {QStringLiteral("OK")}});
    }
}
