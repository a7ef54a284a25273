#include "AppDelegate.h"
#include "ConnectivityMonitor.h"
#include "FakeClocks.h"
#include "FakeCredentialStore.h"
#include "FakeGlobalInputMonitor.h"
#include "FakeIdleTimeSource.h"
#include "FakeJsonTransport.h"
#include "FakeReachability.h"
#include "FakeUserDefaults.h"
#include "MainWindow.h"
#include "ProbeAddresses.h"
#include "QtPrinters.h"
#include "ScriptedAlerts.h"
#include "ScriptedBreakPrompt.h"
#include "ScriptedSignInPrompt.h"

#include <QApplication>
#include <QCheckBox>
#include <QEventLoop>
#include <QJsonDocument>
#include <QLabel>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

JsonReply ok(const char* json = "{}") {
    return JsonReply{200, std::nullopt, QJsonDocument::fromJson(json).object()};
}

// An AppDelegate on fakes for everything outside the process, with the real window.
struct Harness {
    Harness() {
        AppDelegate::Services s;
        auto own = [](auto& raw, auto ptr) {
            raw = ptr.get();
            return ptr;
        };
        s.monotonic = own(monotonic, std::make_unique<FakeMonotonicClock>());
        s.wall = own(wall, std::make_unique<FakeWallClock>());
        s.idle = own(idle, std::make_unique<FakeIdleTimeSource>());
        s.transport = own(transport, std::make_unique<FakeJsonTransport>());
        s.reachability = own(reachability, std::make_unique<FakeReachability>());
        s.probeAddresses = std::make_unique<ProbeAddresses>(QStringLiteral("127.0.0.1"));
        s.globalMonitor = own(global, std::make_unique<FakeGlobalInputMonitor>());
        s.credentials = own(credentials, std::make_unique<FakeCredentialStore>());
        s.defaults = own(defaults, std::make_unique<FakeUserDefaults>());
        s.queueDatabasePath = dir.filePath(QStringLiteral("queue.sqlite"));
        s.serviceUrl = QUrl(QStringLiteral("http://127.0.0.1:1"));
        s.openUrl = [this](const QUrl& url) {
            opened.append(url);
            return true;
        };
        s.alerts = own(alerts, std::make_unique<ScriptedAlerts>());
        s.signInPrompt = own(signInPrompt, std::make_unique<ScriptedSignInPrompt>());
        s.breakPrompt = own(breakPrompt, std::make_unique<ScriptedBreakPrompt>());
        modal = s.modalGate.get();
        reachability->released = &reachabilityReleased;
        reachability->reachable.insert(QHostAddress(QStringLiteral("127.0.0.1")));
        transport->answer = [](const FakeJsonTransport::Request& r) {
            if (r.path == "/api/users/verify")
                return ok(R"({"ok":true})");
            if (r.path.startsWith("/api/time/summary"))
                return ok(R"({"totalWorkMs":3723000})");
            if (r.path == "/api/version")
                return ok(R"({"version":"0.9"})");
            return ok(R"({"ok":true})");
        };
        app = std::make_unique<AppDelegate>(std::move(s));
    }

    void rememberSignIn(const QString& job) {
        defaults->setString("CLLastEmpId", "e1");
        defaults->setString("CLLastJobId", job);
        credentials->items.insert("e1|" + job, "pw");
    }

    // The program's widgets, found as a test of the real program would find them.
    static MainWindow* window() {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* found = qobject_cast<MainWindow*>(widget))
                return found;
        }
        return nullptr;
    }
    static QString text(const char* label) { return window()->findChild<QLabel*>(label)->text(); }
    QTimer* tickTimer() const { return app->findChild<QTimer*>(); }

    QTemporaryDir dir;
    FakeMonotonicClock* monotonic = nullptr;
    FakeWallClock* wall = nullptr;
    FakeIdleTimeSource* idle = nullptr;
    FakeJsonTransport* transport = nullptr;
    FakeReachability* reachability = nullptr;
    FakeGlobalInputMonitor* global = nullptr;
    FakeCredentialStore* credentials = nullptr;
    FakeUserDefaults* defaults = nullptr;
    ScriptedAlerts* alerts = nullptr;
    ScriptedSignInPrompt* signInPrompt = nullptr;
    ScriptedBreakPrompt* breakPrompt = nullptr;
    ModalGate* modal = nullptr;
    bool reachabilityReleased = false;
    QList<QUrl> opened;
    std::unique_ptr<AppDelegate> app;
};

TEST(AppDelegateLaunch, RunsTheStepsInOrderAfterAutomaticSignIn) {
    Harness h;
    h.rememberSignIn("j1");
    // The notice comes after the window and the sign-in, before anything runs by itself.
    bool windowFirst = false;
    int sentBefore = -1;
    bool machineryBefore = true;
    h.alerts->whileOpen = [&](const AlertSpec&) {
        windowFirst =
            Harness::window() && Harness::window()->isVisible() && Harness::window()->idleFieldText() == "3";
        sentBefore = static_cast<int>(h.transport->paths().size());
        machineryBefore = h.tickTimer() || !h.global->log.isEmpty() || h.reachability->reads > 0;
    };
    h.app->applicationDidFinishLaunching();

    EXPECT_TRUE(windowFirst);
    EXPECT_EQ(sentBefore, 2); // the verification and today's total
    EXPECT_FALSE(machineryBefore);
    EXPECT_EQ(h.signInPrompt->dialogs, 0);
    ASSERT_EQ(h.alerts->shown.size(), 1);
    EXPECT_EQ(h.alerts->shown[0].message, "Welcome to Corlune Track");
    EXPECT_TRUE(h.defaults->boolForKey("CLDidShowFirstRun"));

    MainWindow* window = Harness::window();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->findChild<QCheckBox*>("globalTrackCheckbox")->isChecked());
    ASSERT_NE(h.tickTimer(), nullptr);
    EXPECT_EQ(h.tickTimer()->interval(), 200);
    EXPECT_TRUE(h.tickTimer()->isActive());
    EXPECT_EQ(h.global->log, (QStringList{"add key", "add mouse"}));
    EXPECT_GT(h.reachability->reads, 0);
    EXPECT_TRUE(window->findChild<QLabel*>("syncLabel")->isHidden());

    // Verification, then today's total; the job is not "0", so no social fetch.
    QStringList paths = h.transport->paths();
    ASSERT_EQ(paths.size(), 2);
    EXPECT_EQ(paths[0], "/api/users/verify");
    EXPECT_TRUE(paths[1].startsWith("/api/time/summary?employeeId=e1&jobId=j1&from="));

    // The update check runs one second after start-up, on its own thread.
    EXPECT_TRUE(QTest::qWaitFor([&] { return h.transport->paths().contains("/api/version"); }, 5000));
}

TEST(AppDelegateLaunch, QuitInTheSignInDialogEndsBeforeAnyMachineryExists) {
    Harness h;
    h.app->applicationDidFinishLaunching();
    EXPECT_EQ(h.signInPrompt->dialogs, 1);
    EXPECT_TRUE(h.transport->paths().isEmpty());
    EXPECT_EQ(h.tickTimer(), nullptr);
    EXPECT_EQ(h.reachability->reads, 0);
    EXPECT_TRUE(h.global->log.isEmpty());
    EXPECT_FALSE(h.defaults->boolForKey("CLDidShowFirstRun"));
    EXPECT_TRUE(h.alerts->shown.isEmpty());

    h.app->applicationWillTerminate();
    EXPECT_TRUE(h.global->log.isEmpty());
}

TEST(AppDelegateLaunch, ShutDownStopsEverythingAndSendsNothing) {
    Harness h;
    h.rememberSignIn("j1");
    h.defaults->setBool("CLDidShowFirstRun", true);
    h.app->applicationDidFinishLaunching();
    emit Harness::window()->clockRequested();
    const int sent = h.transport->paths().size();

    h.app->applicationWillTerminate();
    EXPECT_EQ(h.tickTimer(), nullptr);
    EXPECT_EQ(h.global->log, (QStringList{"add key", "add mouse", "remove key", "remove mouse"}));
    EXPECT_TRUE(h.reachabilityReleased);
    EXPECT_EQ(h.transport->paths().size(), sent); // no clock-out, nothing flushed
    EXPECT_EQ(Harness::text("statusLabel"), "Status: Working");
}

TEST(AppDelegate, TicksInsideAModalScopeAreDropped) {
    Harness h;
    h.app->onTickTimer();
    EXPECT_EQ(h.idle->queries, 1);
    {
        ModalScope modal(*h.modal);
        h.app->onTickTimer();
        h.app->onTickTimer();
    }
    EXPECT_EQ(h.idle->queries, 1);
    h.app->onTickTimer();
    EXPECT_EQ(h.idle->queries, 2);
}

TEST(AppDelegate, TimerFiringInANestedLoopDoesNotTick) {
    Harness h;
    h.rememberSignIn("j1");
    h.defaults->setBool("CLDidShowFirstRun", true);
    h.app->applicationDidFinishLaunching();
    QTimer* timer = h.tickTimer();
    ASSERT_NE(timer, nullptr);
    QSignalSpy fired(timer, &QTimer::timeout);
    {
        // What a modal dialog does: a scope, then a nested event loop.
        ModalScope modal(*h.modal);
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
    EXPECT_TRUE(QTest::qWaitFor([&] { return h.idle->queries > 0; }, 2000));
}

TEST(AppDelegate, SocialFetchOnlyForJobZeroWhileOnline) {
    const struct {
        const char* job;
        bool online;
        bool fetches;
    } cases[] = {{"0", true, true}, {"0", false, false}, {"00", true, false}, {"", true, false}};
    for (const auto& c : cases) {
        Harness h;
        h.rememberSignIn(QString::fromLatin1(c.job));
        h.defaults->setBool("CLDidShowFirstRun", true);
        if (!c.online)
            h.reachability->reachable.clear();
        h.app->applicationDidFinishLaunching();
        QCoreApplication::processEvents(); // the answer of sign-in's own fetch
        h.transport->clear();
        h.app->onTickTimer();
        EXPECT_EQ(h.transport->paths().contains("/api/analytics/impressions"), c.fetches)
            << c.job << " online=" << c.online;
    }
}

TEST(AppDelegate, WindowActionsDriveTheSessionAndReports) {
    Harness h;
    h.rememberSignIn("j1");
    h.defaults->setBool("CLDidShowFirstRun", true);
    h.app->applicationDidFinishLaunching();
    h.transport->clear();

    MainWindow* window = Harness::window();
    emit window->clockRequested();
    EXPECT_EQ(Harness::text("statusLabel"), "Status: Working");
    h.global->pressKey();
    h.global->click();
    emit window->pauseRequested();
    EXPECT_EQ(h.transport->paths(),
              (QStringList{"/api/time/clock-in", "/api/input/track", "/api/break/start"}));
    EXPECT_EQ(Harness::text("inputsLabel"), "Inputs: Keys 1, Clicks 1");
    emit window->idleStepperChanged(5);
    EXPECT_EQ(window->idleFieldText(), "5");
    emit window->globalTrackToggled(false);
    EXPECT_EQ(h.global->log.mid(2), (QStringList{"remove key", "remove mouse"}));
}

TEST(AppDelegate, AButtonsOwnPressCountsUnderTheModeItWasMadeIn) {
    Harness h;
    h.rememberSignIn("j1");
    h.defaults->setBool("CLDidShowFirstRun", true);
    h.app->applicationDidFinishLaunching();
    h.transport->clear();
    MainWindow* window = Harness::window();

    // X hands the global monitor a quick click's press apart from the window's press and
    // release, and may do so after the button has acted.
    h.global->clickNotYetDelivered();
    emit window->clockRequested(); // pressed while clocked out
    EXPECT_EQ(Harness::text("inputsLabel"), "Inputs: Keys 0, Clicks 0");
    h.global->clickNotYetDelivered();
    emit window->pauseRequested(); // pressed while working
    h.global->clickNotYetDelivered();
    emit window->pauseRequested(); // pressed while paused
    EXPECT_EQ(Harness::text("inputsLabel"), "Inputs: Keys 0, Clicks 1");

    const auto sent = h.transport->requests();
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_EQ(sent[1].path, "/api/input/track");
    EXPECT_EQ(sent[1].body().value("clicks").toInteger(), 1);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
