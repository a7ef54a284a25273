#include "FakeCredentialStore.h"
#include "FakeUserDefaults.h"
#include "QtPrinters.h"
#include "ScriptedAlerts.h"
#include "ScriptedSignInPrompt.h"
#include "SignIn.h"
#include "SyncState.h"

#include <gtest/gtest.h>

namespace {

const QString employeeKey = QStringLiteral("CLLastEmpId");
const QString jobKey = QStringLiteral("CLLastJobId");

// One launch's sign-in, as start-up runs it: automatically, else through the dialog until the
// service accepts or the user quits. Every step the user or the service sees goes in `steps`.
struct Launch {
    explicit Launch(bool online) {
        sync.isOnline = online;
        prompt.whileOpen = [this] { steps.append("dialog"); };
        alerts.whileOpen = [this](const AlertSpec& alert) { steps.append(alert.message); };
    }

    // "in e1/j1; keys e1|j1 synced; stored e1|j1=pw": who is signed in, and what is remembered.
    QString outcome() const {
        QString keys = defaults.values.contains(employeeKey) ? defaults.stringForKey(employeeKey) : "-";
        if (defaults.values.contains(jobKey))
            keys += u'|' + defaults.stringForKey(jobKey);
        QStringList stored;
        for (auto it = store.items.begin(); it != store.items.end(); ++it)
            stored.append(it.key() + u'=' + it.value());
        stored.sort();
        return QStringLiteral("%1 %2/%3; keys %4%5; stored %6")
            .arg(signIn.isAuthenticated ? "in" : "out", sync.employeeId.value_or("-"), sync.jobId, keys,
                 defaults.synchronizations > 0 ? " synced" : "", stored.isEmpty() ? "-" : stored.join(u' '));
    }

    SyncState sync;
    FakeCredentialStore store;
    FakeUserDefaults defaults;
    ScriptedSignInPrompt prompt;
    ScriptedAlerts alerts;
    QStringList steps;
    SignIn signIn{{sync, store, defaults, prompt, alerts,
                   [this](const QString& employee, const QString& job, const QString& password) {
                       const QString triple = employee + u'/' + job + u'/' + password;
                       steps.append("verify " + triple);
                       return QStringList{"e1/j1/pw", "e2//pw2", " e1 /J1/ pw "}.contains(triple);
                   },
                   [this] { steps.append("signed in"); }}};
};

TEST(SignIn, Flows) {
    const struct {
        const char* name;
        const char* remembered; // "employee|job" in the user defaults; without "|" the job key is absent
        const char* stored;     // "employee|job=password", space-separated, in the secret store
        bool online;
        const char* typed; // "employee/job/password" per dialog, ";" between; a trailing "-" unchecks
                           // "Stay signed in"
        const char* steps;
        const char* outcome;
    } cases[] = {
        {"first launch asks the service nothing before the dialog", "", "", true, "", "dialog",
         "out -/; keys -; stored -"},
        {"the remembered pair signs in without a dialog", "e1|j1", "e1|j1=pw", true, "",
         "verify e1/j1/pw; signed in", "in e1/j1; keys e1|j1; stored e1|j1=pw"},
        {"no stored password: the dialog", "e1|j1", "", true, "", "dialog", "out -/; keys e1|j1; stored -"},
        {"an empty stored password: the dialog", "e1|j1", "e1|j1=", true, "", "dialog",
         "out -/; keys e1|j1; stored e1|j1="},
        {"without the job key the job is empty", "e2", "e2|=pw2", true, "", "verify e2//pw2; signed in",
         "in e2/; keys e2; stored e2|=pw2"},
        {"offline: no automatic sign-in, and the dialog says so", "e1|j1", "e1|j1=pw", false, "e1/j1/pw",
         "dialog; Offline; dialog", "out -/; keys e1|j1; stored e1|j1=pw"},
        {"a refused remembered pair falls to the dialog; a new pair replaces the keys", "old|j0", "old|j0=x",
         true, "e1/j1/pw", "verify old/j0/x; dialog; verify e1/j1/pw; signed in",
         "in e1/j1; keys e1|j1 synced; stored e1|j1=pw old|j0=x"},
        {"refused, then accepted in a fresh dialog", "", "", true, "//;e1/j1/pw",
         "dialog; verify //; Sign in failed; dialog; verify e1/j1/pw; signed in",
         "in e1/j1; keys e1|j1 synced; stored e1|j1=pw"},
        {"\"Stay signed in\" off remembers nothing", "old|j0", "", true, "e1/j1/pw-",
         "dialog; verify e1/j1/pw; signed in", "in e1/j1; keys old|j0; stored -"},
        {"fields are used exactly as typed", "", "", true, " e1 /J1/ pw ",
         "dialog; verify  e1 /J1/ pw ; signed in", "in  e1 /J1; keys  e1 |J1 synced; stored  e1 |J1= pw "},
    };
    for (const auto& c : cases) {
        Launch launch(c.online);
        const QStringList remembered = QString::fromUtf8(c.remembered).split(u'|', Qt::SkipEmptyParts);
        if (remembered.size() > 0)
            launch.defaults.values.insert(employeeKey, remembered[0]);
        if (remembered.size() > 1)
            launch.defaults.values.insert(jobKey, remembered[1]);
        for (const QString& item : QString::fromUtf8(c.stored).split(u' ', Qt::SkipEmptyParts))
            launch.store.items.insert(item.section(u'=', 0, 0), item.section(u'=', 1));
        for (QString entry : QString::fromUtf8(c.typed).split(u';', Qt::SkipEmptyParts)) {
            const bool stay = !entry.endsWith(u'-');
            if (!stay)
                entry.chop(1);
            const QStringList fields = entry.split(u'/');
            launch.prompt.entries.append(SignInEntry{fields[0], fields[2], fields[1], stay});
        }

        const bool signedIn = launch.signIn.attemptAutoLogin() || launch.signIn.presentLogin();
        EXPECT_EQ(signedIn, launch.signIn.isAuthenticated) << c.name;
        EXPECT_EQ(launch.steps.join("; ").toStdString(), c.steps) << c.name;
        EXPECT_EQ(launch.outcome().toStdString(), c.outcome) << c.name;
    }
}

} // namespace
