// The tray's menu and the window's close and quit, in process on fakes: the menu reaches the
// window's own handlers under the same titles and rules; without a tray, closing minimises
// while clocked in and quits when clocked out.
#include "AppDelegate.h"
#include "FakeClocks.h"
#include "FakeCredentialStore.h"
#include "FakeGlobalInputMonitor.h"
#include "FakeIdleTimeSource.h"
#include "FakeJsonTransport.h"
#include "FakeReachability.h"
#include "FakeUserDefaults.h"
#include "MainWindow.h"
#include "ProbeAddresses.h"
#include "ScriptedAlerts.h"
#include "ScriptedBreakPrompt.h"
#include "ScriptedSignInPrompt.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

template <typename T>
T* topLevel(const char* name) {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* found = qobject_cast<T*>(widget); found && found->objectName() == name)
            return found;
    }
    return nullptr;
}

QString status() {
    return topLevel<MainWindow>("mainWindow")->findChild<QLabel*>("statusLabel")->text();
}

// A signed-in program on fakes, with the real window and tray; no tray shows on the test display.
struct SignedIn {
    SignedIn() {
        qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
        AppDelegate::Services s;
        s.monotonic = std::make_unique<FakeMonotonicClock>();
        s.wall = std::make_unique<FakeWallClock>();
        s.idle = std::make_unique<FakeIdleTimeSource>();
        auto transport = std::make_unique<FakeJsonTransport>();
        transport->answer = [](const auto&) { return JsonReply{200, {}, QJsonObject{{"ok", true}}}; };
        s.transport = std::move(transport);
        s.reachability = std::make_unique<FakeReachability>();
        s.probeAddresses = std::make_unique<ProbeAddresses>(QStringLiteral("127.0.0.1"));
        s.globalMonitor = std::make_unique<FakeGlobalInputMonitor>();
        auto credentials = std::make_unique<FakeCredentialStore>();
        credentials->items.insert("e1|j1", "pw");
        s.credentials = std::move(credentials);
        auto defaults = std::make_unique<FakeUserDefaults>();
        defaults->setString("CLLastEmpId", "e1");
        defaults->setString("CLLastJobId", "j1");
        defaults->setBool("CLDidShowFirstRun", true);
        s.defaults = std::move(defaults);
        s.queueDatabasePath = dir.filePath(QStringLiteral("queue.sqlite3"));
        s.openUrl = [](const QUrl&) { return true; };
        s.quit = [this] { ++quits; };
        s.alerts = std::make_unique<ScriptedAlerts>();
        s.signInPrompt = std::make_unique<ScriptedSignInPrompt>();
        s.breakPrompt = std::make_unique<ScriptedBreakPrompt>();
        app = std::make_unique<AppDelegate>(std::move(s));
        app->applicationDidFinishLaunching();
    }
    QAction* action(const char* name) const { return topLevel<QMenu>("trayMenu")->findChild<QAction*>(name); }
    int quitsAfter(const std::function<void()>& step) {
        const int before = quits;
        step();
        QCoreApplication::processEvents();
        return quits - before;
    }

    QTemporaryDir dir;
    int quits = 0;
    std::unique_ptr<AppDelegate> app;
};

TEST(Tray, MenuDrivesTheSessionAsTheWindowDoes) {
    SignedIn p;
    MainWindow* window = topLevel<MainWindow>("mainWindow");
    EXPECT_FALSE(p.action("trayPauseAction")->isEnabled());
    p.action("trayClockAction")->trigger();
    EXPECT_EQ(status(), "Status: Working");
    EXPECT_EQ(p.action("trayClockAction")->text(), "Clock Out");
    EXPECT_TRUE(p.action("trayPauseAction")->isEnabled());
    p.action("trayPauseAction")->trigger();
    EXPECT_EQ(status(), "Status: Paused");
    EXPECT_EQ(p.action("trayPauseAction")->text(), "Resume");

    window->hide();
    p.action("trayShowAction")->trigger();
    EXPECT_TRUE(window->isVisible());

    const QString entry = p.dir.filePath("autostart/com.corlune.Track.desktop");
    p.action("trayStartAtLoginAction")->trigger();
    EXPECT_TRUE(QFileInfo::exists(entry));
    EXPECT_TRUE(p.action("trayStartAtLoginAction")->isChecked());
    p.action("trayStartAtLoginAction")->trigger();
    EXPECT_FALSE(QFileInfo::exists(entry));

    EXPECT_EQ(p.quitsAfter([&] { p.action("trayQuitAction")->trigger(); }), 1);
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    EXPECT_EQ(p.quitsAfter([&] { QTest::keyClick(window, Qt::Key_Q, Qt::ControlModifier); }), 1);
}

TEST(Tray, ClosingWithoutATrayMinimisesWhileClockedInAndQuitsWhenOut) {
    SignedIn p;
    MainWindow* window = topLevel<MainWindow>("mainWindow");
    p.action("trayClockAction")->trigger();
    EXPECT_EQ(p.quitsAfter([&] { window->close(); }), 0);
    EXPECT_TRUE(window->isMinimized());
    p.action("trayClockAction")->trigger();
    EXPECT_EQ(p.quitsAfter([&] { window->close(); }), 1);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
