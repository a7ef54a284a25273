// Start-up and shut-down as the fakes see them: the window, then sign-in, then the first-run
// notice, and only then the tick, input counting and the connectivity polls, with the update
// check a second later. Quitting the sign-in starts nothing; shutting down stops everything and
// sends nothing. The tray's menu reaches the window's own handlers under the same titles and
// rules; without a tray, closing minimises while the session runs and quits once clocked out.
#include "FakeDesktop.h"
#include "FakeJsonTransport.h"

#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QFileInfo>
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
    EXPECT_TRUE(sentFirst[0] == "/api/users/verify" && sentFirst[1].startsWith("/api/time/summary?"));
    EXPECT_FALSE(ranFirst);

    EXPECT_TRUE(FakeDesktop::window()->findChild<QCheckBox*>("globalTrackCheckbox")->isChecked());
    EXPECT_TRUE(rig.tickTimer() && rig.tickTimer()->isActive());
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

QAction* trayAction(const char* name) {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == QLatin1String("trayMenu"))
            return widget->findChild<QAction*>(name);
    }
    return nullptr;
}

QString status() {
    return FakeDesktop::window()->findChild<QLabel*>("statusLabel")->text();
}

TEST(Tray, MenuWindowAndQuitDriveOneSession) {
    Rig rig;
    FakeDesktop& desktop = rig.desktop;
    desktop.remember("e1", "j1", "pw", true);
    desktop.app->applicationDidFinishLaunching();
    qputenv("XDG_CONFIG_HOME", desktop.folder.path().toUtf8());
    MainWindow* window = FakeDesktop::window();
    const auto quitsAfter = [&](const std::function<void()>& step) {
        const int before = desktop.quits;
        step();
        QCoreApplication::processEvents();
        return desktop.quits - before;
    };

    EXPECT_FALSE(trayAction("trayPauseAction")->isEnabled());
    trayAction("trayClockAction")->trigger();
    EXPECT_EQ(status(), "Status: Working");
    EXPECT_EQ(trayAction("trayClockAction")->text(), "Clock Out");
    ASSERT_TRUE(trayAction("trayPauseAction")->isEnabled());
    trayAction("trayPauseAction")->trigger();
    EXPECT_EQ(status(), "Status: Paused");
    EXPECT_EQ(trayAction("trayPauseAction")->text(), "Resume");

    EXPECT_EQ(quitsAfter([&] { window->close(); }), 0);
    EXPECT_TRUE(window->isMinimized());
    trayAction("trayShowAction")->trigger();
    EXPECT_FALSE(window->isMinimized());
    trayAction("trayClockAction")->trigger();
    EXPECT_EQ(quitsAfter([&] { window->close(); }), 1);

    const QString entry = desktop.folder.filePath("autostart/com.corlune.Track.desktop");
    trayAction("trayStartAtLoginAction")->trigger();
    EXPECT_TRUE(QFileInfo::exists(entry) && trayAction("trayStartAtLoginAction")->isChecked());
    trayAction("trayStartAtLoginAction")->trigger();
    EXPECT_FALSE(QFileInfo::exists(entry));

    EXPECT_EQ(quitsAfter([&] { trayAction("trayQuitAction")->trigger(); }), 1);
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    EXPECT_EQ(quitsAfter([&] { QTest::keyClick(window, Qt::Key_Q, Qt::ControlModifier); }), 1);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
