#include "FakeCredentialStore.h"
#include "FakeUserDefaults.h"
#include "QtPrinters.h"
#include "ScriptedAlerts.h"
#include "ScriptedSignInPrompt.h"
#include "SignIn.h"
#include "SyncState.h"

#include <QStringList>

#include <gtest/gtest.h>

namespace {

struct SignInTest : ::testing::Test {
    SignIn signIn{{sync, store, defaults, prompt, alerts,
                   [this](const QString& e, const QString& j, const QString& p) {
                       calls.append(e + u'/' + j + u'/' + p);
                       return accept.contains(e + u'/' + j + u'/' + p);
                   },
                   [this] { events.append("afterSignIn"); }}};

    SyncState sync;
    FakeCredentialStore store;
    FakeUserDefaults defaults;
    ScriptedSignInPrompt prompt;
    ScriptedAlerts alerts;
    QStringList accept{"e1/j1/pw"};
    QStringList calls;
    QStringList events;
};

TEST_F(SignInTest, FirstLaunchAsksNothingOfTheService) {
    EXPECT_FALSE(signIn.attemptAutoLogin());
    EXPECT_TRUE(calls.isEmpty());
    EXPECT_EQ(store.loads, 0);
}

TEST_F(SignInTest, AutoLoginWithRememberedPairShowsNoDialog) {
    defaults.setString("CLLastEmpId", "e1");
    defaults.setString("CLLastJobId", "j1");
    store.items.insert("e1|j1", "pw");
    EXPECT_TRUE(signIn.attemptAutoLogin());
    EXPECT_EQ(calls, QStringList{"e1/j1/pw"});
    EXPECT_TRUE(signIn.isAuthenticated);
    EXPECT_TRUE(signIn.rememberMe);
    EXPECT_EQ(sync.employeeId, "e1");
    EXPECT_EQ(sync.jobId, "j1");
    EXPECT_EQ(events, QStringList{"afterSignIn"});
    EXPECT_EQ(prompt.dialogs, 0);
    EXPECT_EQ(store.saves, 0); // nothing is written again
}

TEST_F(SignInTest, AutoLoginGivesUpWithoutAPasswordOrOffline) {
    defaults.setString("CLLastEmpId", "e1");
    defaults.setString("CLLastJobId", "j1");
    EXPECT_FALSE(signIn.attemptAutoLogin()); // no stored password
    store.items.insert("e1|j1", "");
    EXPECT_FALSE(signIn.attemptAutoLogin()); // an empty one
    store.items.insert("e1|j1", "pw");
    sync.isOnline = false;
    EXPECT_FALSE(signIn.attemptAutoLogin());
    EXPECT_TRUE(calls.isEmpty());
    sync.isOnline = true;
    store.items.insert("e1|j1", "stale");
    EXPECT_FALSE(signIn.attemptAutoLogin()); // refused, silently
    EXPECT_TRUE(alerts.shown.isEmpty());
    EXPECT_FALSE(signIn.isAuthenticated);
    EXPECT_FALSE(sync.employeeId);
}

TEST_F(SignInTest, AbsentJobKeyMeansTheEmptyJob) {
    defaults.setString("CLLastEmpId", "e2");
    store.items.insert("e2|", "pw2");
    accept = QStringList{"e2//pw2"};
    EXPECT_TRUE(signIn.attemptAutoLogin());
    EXPECT_EQ(sync.jobId, "");
}

TEST_F(SignInTest, QuitReturnsAtOnceWithoutTheService) {
    EXPECT_FALSE(signIn.presentLogin());
    EXPECT_EQ(prompt.dialogs, 1);
    EXPECT_TRUE(calls.isEmpty());
    EXPECT_FALSE(signIn.isAuthenticated);
    EXPECT_FALSE(sync.employeeId);
    EXPECT_EQ(sync.jobId, "");
}

TEST_F(SignInTest, RefusedThenAcceptedLoopsThroughFreshDialogs) {
    prompt.entries = {SignInEntry{"", "", "", true}, SignInEntry{"e1", "pw", "j1", true}};
    EXPECT_TRUE(signIn.presentLogin());
    EXPECT_EQ(calls, (QStringList{"//", "e1/j1/pw"}));
    ASSERT_EQ(alerts.shown.size(), 1);
    EXPECT_EQ(alerts.shown[0].message, "Sign in failed");
    EXPECT_EQ(alerts.shown[0].informative, "Invalid employee ID, job ID, or password. Please try again.");
    EXPECT_EQ(prompt.dialogs, 2);
    EXPECT_EQ(store.items.value("e1|j1"), "pw");
    EXPECT_EQ(defaults.stringForKey("CLLastEmpId"), "e1");
    EXPECT_EQ(defaults.stringForKey("CLLastJobId"), "j1");
    EXPECT_EQ(defaults.synchronizations, 1);
    EXPECT_EQ(events, QStringList{"afterSignIn"});
}

TEST_F(SignInTest, OfflineShowsTheOfflineAlertWithoutTheService) {
    sync.isOnline = false;
    prompt.entries = {SignInEntry{"e1", "pw", "j1", true}};
    EXPECT_FALSE(signIn.presentLogin());
    EXPECT_TRUE(calls.isEmpty());
    ASSERT_EQ(alerts.shown.size(), 1);
    EXPECT_EQ(alerts.shown[0].message, "Offline");
    EXPECT_EQ(alerts.shown[0].informative, "You must be online to sign in.");
}

TEST_F(SignInTest, StaySignedInOffWritesNothing) {
    defaults.setString("CLLastEmpId", "old");
    prompt.entries = {SignInEntry{"e1", "pw", "j1", false}};
    EXPECT_TRUE(signIn.presentLogin());
    EXPECT_FALSE(signIn.rememberMe);
    EXPECT_EQ(store.saves, 0);
    EXPECT_EQ(defaults.stringForKey("CLLastEmpId"), "old");
    EXPECT_EQ(defaults.synchronizations, 0);
}

TEST_F(SignInTest, FieldsAreUsedExactlyAsTyped) {
    accept = QStringList{" e1 /J1/ pw "};
    prompt.entries = {SignInEntry{" e1 ", " pw ", "J1", true}};
    EXPECT_TRUE(signIn.presentLogin());
    EXPECT_EQ(sync.employeeId, " e1 ");
    EXPECT_EQ(defaults.stringForKey("CLLastEmpId"), " e1 ");
}

} // namespace
