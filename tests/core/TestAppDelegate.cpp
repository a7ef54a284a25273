#include "AppDelegate.h"
#include "FakeClocks.h"
#include "FakeIdleTimeSource.h"
#include "RecordingReports.h"
#include "RecordingSessionView.h"
#include "ScriptedBreakPrompt.h"
#include "WorkSession.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// Builds an AppDelegate from fakes and keeps raw views of them for the test.
struct Harness {
    Harness() {
        AppDelegate::Services services;
        auto mono = std::make_unique<FakeMonotonicClock>();
        auto wallClock = std::make_unique<FakeWallClock>();
        auto idleSource = std::make_unique<FakeIdleTimeSource>();
        auto recorder = std::make_unique<RecordingReports>();
        auto breakPrompt = std::make_unique<ScriptedBreakPrompt>();
        monotonic = mono.get();
        idle = idleSource.get();
        reports = recorder.get();
        prompt = breakPrompt.get();
        services.monotonic = std::move(mono);
        services.wall = std::move(wallClock);
        services.idle = std::move(idleSource);
        services.reports = std::move(recorder);
        services.breakPrompt = std::move(breakPrompt);
        services.refreshSocialMetrics = [this] { ++socialRefreshes; };
        app = std::make_unique<AppDelegate>(std::move(services));
        app->setSessionView(&view);
    }

    FakeMonotonicClock* monotonic = nullptr;
    FakeIdleTimeSource* idle = nullptr;
    RecordingReports* reports = nullptr;
    ScriptedBreakPrompt* prompt = nullptr;
    RecordingSessionView view;
    int socialRefreshes = 0;
    std::unique_ptr<AppDelegate> app;
};

TEST(AppDelegate, TicksInsideAModalScopeAreDropped) {
    Harness h;
    h.app->onTickTimer();
    EXPECT_EQ(h.idle->queries, 1);
    {
        ModalScope modal(h.app->modalGate());
        h.app->onTickTimer();
        h.app->onTickTimer();
    }
    EXPECT_EQ(h.idle->queries, 1);
    h.app->onTickTimer();
    EXPECT_EQ(h.idle->queries, 2);
}

TEST(AppDelegate, TimerFiringInANestedLoopDoesNotTick) {
    Harness h;
    h.app->startTickTimer();
    QTimer* timer = h.app->tickTimer();
    ASSERT_NE(timer, nullptr);
    EXPECT_EQ(timer->interval(), 200);

    QSignalSpy fired(timer, &QTimer::timeout);
    {
        // What a modal dialog does: a scope, then a nested event loop.
        ModalScope modal(h.app->modalGate());
        QEventLoop nested;
        QTimer::singleShot(0, &nested, [&] {
            if (!fired.wait(2000) || !fired.wait(2000))
                ADD_FAILURE() << "the tick timer did not fire";
            nested.quit();
        });
        nested.exec();
    }
    EXPECT_GE(fired.size(), 2);
    EXPECT_EQ(h.idle->queries, 0);

    // Ticking resumes once the dialog is gone.
    EXPECT_TRUE(QTest::qWaitFor([&] { return h.idle->queries > 0; }, 2000));
    h.app->stopTickTimer();
    EXPECT_EQ(h.app->tickTimer(), nullptr);
}

TEST(AppDelegate, TheBreakPromptRunsWithTicksSuspended) {
    Harness h;
    h.app->onClock();
    h.idle->seconds = 200;
    h.app->onTickTimer();
    ASSERT_EQ(h.app->session().mode, 2);
    h.idle->seconds = 0;
    int queriesWhileOpen = -1;
    h.prompt->whileOpen = [&] {
        ModalScope modal(h.app->modalGate());
        const int before = h.idle->queries;
        h.app->onTickTimer(); // a timer that fires while the prompt is open
        queriesWhileOpen = h.idle->queries - before;
    };
    h.app->onTickTimer();
    EXPECT_EQ(h.prompt->asked.size(), 1);
    EXPECT_EQ(queriesWhileOpen, 0);
}

TEST(AppDelegate, SocialRefreshOnlyForJobZeroWhileOnline) {
    const struct {
        const char* job;
        bool online;
        int refreshes;
    } cases[] = {{"0", true, 1}, {"0", false, 0}, {"00", true, 0}, {"", true, 0}, {"7", true, 0}};
    for (const auto& c : cases) {
        Harness h;
        h.app->sync().jobId = QString::fromLatin1(c.job);
        h.app->sync().isOnline = c.online;
        h.app->updateUI();
        EXPECT_EQ(h.socialRefreshes, c.refreshes) << c.job << " online=" << c.online;
    }
}

TEST(AppDelegate, OperationsAreReachableByName) {
    Harness h;
    RecordingSessionView& view = h.view;
    h.app->onClock();
    EXPECT_EQ(view.status, "Status: Working");
    h.app->onPause();
    EXPECT_EQ(view.status, "Status: Paused");
    h.app->onIdleStepper(5);
    EXPECT_EQ(h.app->session().idleThreshold, 300);
    view.idleField = "9";
    h.app->onIdleFieldChange();
    EXPECT_EQ(h.app->session().idleThreshold, 540);
    h.app->onTick();
    h.app->updateUI();
    EXPECT_EQ(h.reports->kinds(), (QStringList{"clockIn", "inputs", "breakStart"}));
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
