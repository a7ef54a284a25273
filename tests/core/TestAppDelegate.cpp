// Start-up and shut-down as the fakes see them: the window, then sign-in, then the first-run
// notice, and only then the tick, input counting and the connectivity polls, with the update
// check a second later. Quitting the sign-in starts nothing; shutting down stops everything and
// sends nothing.
#include "FakeDesktop.h"
#include "FakeJsonTransport.h"

#include <QAccessible>
#include <QCheckBox>
#include <QJsonObject>
#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

namespace {

struct Rig {
    Rig() {
        transport->answer = [](const FakeJsonTransport::Request& request) {
            return JsonReply{
                200, {}, request.path == "/api/users/verify" ? QJsonObject{{"ok", true}} : QJsonObject{}};
        };
    }
    QTimer* tickTimer() const { return desktop.app->findChild<QTimer*>(); }
    bool anythingRuns() const {
        return tickTimer() || !desktop.global->log.isEmpty() || desktop.reachability->reads > 0;
    }

    std::unique_ptr<FakeJsonTransport> owned = std::make_unique<FakeJsonTransport>();
    FakeJsonTransport* transport = owned.get();
    FakeDesktop desktop{std::move(owned)};
};

TEST(AppDelegate, StartsInOrderAfterAnAutomaticSignIn) {
    Rig rig;
    rig.desktop.remember("e1", "j1", "pw", false);
    bool windowFirst = false;
    QStringList sentFirst;
    bool ranFirst = true;
    rig.desktop.alerts->whileOpen = [&](const AlertSpec&) {
        const MainWindow* window = FakeDesktop::window();
        windowFirst = window && window->isVisible() && window->idleFieldText() == "3";
        sentFirst = rig.transport->paths();
        ranFirst = rig.anythingRuns();
    };
    rig.desktop.app->applicationDidFinishLaunching();

    ASSERT_EQ(rig.desktop.alerts->shown.size(), 1);
    EXPECT_EQ(rig.desktop.alerts->shown[0].message, "Welcome to Corlune Track");
    EXPECT_EQ(rig.desktop.signInPrompt->dialogs, 0);
    EXPECT_TRUE(windowFirst);
    ASSERT_EQ(sentFirst.size(), 2);
    EXPECT_EQ(sentFirst[0], "/api/users/verify");
    EXPECT_TRUE(sentFirst[1].startsWith("/api/time/summary?"));
    EXPECT_FALSE(ranFirst);

    EXPECT_TRUE(FakeDesktop::window()->findChild<QCheckBox*>("globalTrackCheckbox")->isChecked());
    ASSERT_NE(rig.tickTimer(), nullptr);
    EXPECT_TRUE(rig.tickTimer()->isActive());
    EXPECT_EQ(rig.desktop.global->log, (QStringList{"add key", "add mouse"}));
    EXPECT_GT(rig.desktop.reachability->reads, 0);
    EXPECT_FALSE(rig.transport->paths().contains("/api/version"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return rig.transport->paths().contains("/api/version"); }, 5000));
}

TEST(AppDelegate, QuittingTheSignInStartsNothing) {
    Rig rig;
    rig.desktop.app->applicationDidFinishLaunching();
    EXPECT_EQ(rig.desktop.signInPrompt->dialogs, 1);
    EXPECT_TRUE(rig.transport->paths().isEmpty());
    EXPECT_TRUE(rig.desktop.alerts->shown.isEmpty());
    EXPECT_FALSE(rig.anythingRuns());
    rig.desktop.app->applicationWillTerminate();
    EXPECT_TRUE(rig.desktop.global->log.isEmpty());
}

TEST(AppDelegate, TheWindowTakesNoActionBeforeSignInAndNoFocusFromAClick) {
    Rig rig;
    rig.desktop.signInPrompt->whileOpen = [] {
        for (const char* name : {"clockButton", "idleField", "idleStepper", "globalTrackCheckbox"})
            EXPECT_FALSE(FakeDesktop::window()->findChild<QWidget*>(name)->isEnabled()) << name;
    };
    rig.desktop.signInPrompt->entries = {SignInEntry{"e1", "pw", "j1", false}};
    rig.desktop.app->applicationDidFinishLaunching();
    MainWindow* window = FakeDesktop::window();
    // As the accessibility bus toggles it.
    QAccessible::queryAccessibleInterface(window->findChild<QCheckBox*>("globalTrackCheckbox"))
        ->actionInterface()
        ->doAction(QAccessibleActionInterface::toggleAction());
    EXPECT_EQ(rig.desktop.global->log, (QStringList{"add key", "add mouse", "remove key", "remove mouse"}));
    QTest::mouseClick(window->findChild<QPushButton*>("clockButton"), Qt::LeftButton);
    EXPECT_EQ(window->findChild<QLabel*>("statusLabel")->text(), "Status: Working");
    EXPECT_EQ(window->focusWidget(), nullptr);

    window->setRefusedReportCount(2);
    const QLabel* refused = window->findChild<QLabel*>("refusedLabel");
    EXPECT_EQ(refused->accessibleName(), "2 reports were refused by the service and set aside.");
    EXPECT_FALSE(refused->toolTip().isEmpty());
}

TEST(AppDelegate, ShutDownStopsEverythingAndSendsNothing) {
    Rig rig;
    rig.desktop.remember("e1", "j1", "pw", true);
    bool released = false;
    rig.desktop.reachability->released = &released;
    rig.desktop.app->applicationDidFinishLaunching();
    FakeDesktop::press("clockButton");
    const QStringList sent = rig.transport->paths();

    rig.desktop.app->applicationWillTerminate();
    EXPECT_EQ(rig.tickTimer(), nullptr);
    EXPECT_EQ(rig.desktop.global->log, (QStringList{"add key", "add mouse", "remove key", "remove mouse"}));
    EXPECT_TRUE(released);
    EXPECT_EQ(rig.transport->paths(), sent) << "clocked out or flushed at shut-down";
}

TEST(AppDelegate, TicksWhileADialogIsOpenAreDropped) {
    Rig rig;
    rig.desktop.app->onTickTimer();
    EXPECT_EQ(rig.desktop.idle->queries, 1);
    {
        ModalScope dialog(*rig.desktop.modal);
        rig.desktop.app->onTickTimer();
    }
    EXPECT_EQ(rig.desktop.idle->queries, 1);
    rig.desktop.app->onTickTimer();
    EXPECT_EQ(rig.desktop.idle->queries, 2);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
