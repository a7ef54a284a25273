// Which monitor counts, and when: a scripted global monitor and real local filters, fed at
// the window as the platform does.
#include "FakeClocks.h"
#include "FakeGlobalInputMonitor.h"
#include "FakeIdleTimeSource.h"
#include "InputTracking.h"
#include "RecordingReports.h"
#include "ScriptedBreakPrompt.h"
#include "WorkSession.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class InputTrackingTest : public ::testing::Test {
protected:
    InputTrackingTest() {
        auto fake = std::make_unique<FakeGlobalInputMonitor>();
        global = fake.get();
        tracking = std::make_unique<InputTracking>(session, std::move(fake));
        window.resize(200, 50);
        window.show();
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
    }

    // One key press and one click into our own window.
    void typeAndClickInOurWindow() {
        QTest::keyClick(window.windowHandle(), Qt::Key_A);
        QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, QPoint(10, 10));
    }
    // One key press and one click into another program.
    void typeAndClickElsewhere() {
        global->pressKey();
        global->click();
    }
    void expectCounts(qint64 keys, qint64 clicks) {
        EXPECT_EQ(session.keyCount, keys);
        EXPECT_EQ(session.unsentKeys, keys);
        EXPECT_EQ(session.clickCount, clicks);
        EXPECT_EQ(session.unsentClicks, clicks);
    }

    FakeTime time;
    FakeIdleTimeSource idle;
    RecordingReports reports;
    ScriptedBreakPrompt prompt;
    WorkSession session{{time.monotonic, time.wall, idle, reports, prompt}};
    FakeGlobalInputMonitor* global = nullptr;
    std::unique_ptr<InputTracking> tracking;
    QLineEdit window;
};

TEST_F(InputTrackingTest, EnableInstallsTheMonitorsAndDisableRemovesThemAll) {
    tracking->enableInputTracking(true);
    EXPECT_NE(tracking->localKeyMonitor, nullptr);
    EXPECT_NE(tracking->localMouseMonitor, nullptr);
    EXPECT_NE(tracking->globalKeyMonitor, nullptr);
    EXPECT_NE(tracking->globalMouseMonitor, nullptr);

    tracking->disableInputTracking();
    EXPECT_EQ(tracking->localKeyMonitor, nullptr);
    EXPECT_EQ(tracking->localMouseMonitor, nullptr);
    EXPECT_EQ(tracking->globalKeyMonitor, nullptr);
    EXPECT_EQ(tracking->globalMouseMonitor, nullptr);
    tracking->disableInputTracking();
    EXPECT_EQ(global->log, QStringList({"add key", "add mouse", "remove key", "remove mouse"}));
}

TEST_F(InputTrackingTest, DesktopWithoutGlobalInputStillCountsOurWindow) {
    global->available = false; // Wayland
    EXPECT_FALSE(tracking->globalMonitoringAvailable());
    tracking->enableInputTracking(true);
    EXPECT_EQ(tracking->globalKeyMonitor, nullptr);
    session.onClock();
    typeAndClickInOurWindow();
    expectCounts(1, 1);
}

TEST_F(InputTrackingTest, LosingGlobalInputHandsOurWindowBackToTheLocalFilter) {
    EXPECT_TRUE(tracking->globalMonitoringAvailable());
    tracking->enableInputTracking(true);
    session.onClock();
    typeAndClickInOurWindow();
    expectCounts(0, 0);        // the scripted global monitor saw nothing of it
    global->available = false; // the X server went away
    typeAndClickInOurWindow();
    expectCounts(1, 1);
}

TEST_F(InputTrackingTest, NothingCountsWhileClockedOutOrPaused) {
    tracking->enableInputTracking(true);
    typeAndClickElsewhere();
    expectCounts(0, 0);

    session.onClock();
    session.onPause();
    typeAndClickElsewhere();
    tracking->onGlobalTrackToggled(false);
    typeAndClickInOurWindow();
    expectCounts(0, 0);

    // Paused by idle detection: still nothing.
    tracking->onGlobalTrackToggled(true);
    session.onPause();
    idle.seconds = 1e6;
    session.onTick();
    ASSERT_TRUE(session.autoPaused);
    typeAndClickElsewhere();
    expectCounts(0, 0);
}

TEST_F(InputTrackingTest, DestroyingTheTrackingRemovesItsMonitors) {
    tracking->enableInputTracking(false);
    session.onClock();
    tracking.reset();
    QTest::keyClick(window.windowHandle(), Qt::Key_A);
    EXPECT_EQ(session.keyCount, 0);
}

} // namespace
