// The tray's menu and the window's close and quit, on fakes: the menu reaches the window's own
// handlers under the same titles and rules; without a tray, closing minimises while the session
// runs and quits once clocked out; the menu's Quit and Ctrl+Q quit.
#include "FakeDesktop.h"
#include "FakeJsonTransport.h"

#include <QAction>
#include <QFileInfo>
#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

namespace {

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
    auto transport = std::make_unique<FakeJsonTransport>();
    transport->answer = [](const auto&) { return JsonReply{200, {}, QJsonObject{{"ok", true}}}; };
    FakeDesktop desktop(std::move(transport));
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
    EXPECT_TRUE(QFileInfo::exists(entry));
    EXPECT_TRUE(trayAction("trayStartAtLoginAction")->isChecked());
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
