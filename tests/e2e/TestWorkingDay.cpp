// The whole program once, for real: the built corlune-track and corlune-track-server in a
// network namespace of the test's own, driven through X as a user drives them. The service ends
// up with every report of the day exactly once, with the instants at which the buttons were
// pressed, also when the client is killed with reports still queued.
#include "NetworkNamespace.h"
#include "ServerProcess.h"
#include "StoredEvents.h"
#include "TempDir.h"
#include "TimeClockClient.h"
#include "WaitFor.h"
#include "XDesktop.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>

#include <unistd.h>

using Kind = StoredEvent::Kind;

namespace {

class WorkingDay : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0 || !std::getenv("DISPLAY")) {
            if (std::getenv("CI") && std::string(std::getenv("CI")) == "true")
                FAIL() << "must run as root on a display in CI";
            GTEST_SKIP() << "needs root for a network namespace and a display (scripts/lib/with-desktop)";
        }
        ns = std::make_unique<NetworkNamespace>();
        desktop = std::make_unique<XDesktop>();
        client = std::make_unique<TimeClockClient>(*desktop, folder.file("client"), ns.get());
        startService();
    }
    void TearDown() override {
        if (HasFailure() && client && service)
            std::cerr << "client output:\n"
                      << client->log() << "\nservice output:\n"
                      << service->log() << '\n';
    }

    /// On the port the client was built for, keeping its database across restarts.
    void startService() {
        service.reset();
        service = std::make_unique<ServerProcess>(std::vector<std::string>{"--db", database(), "--demo"},
                                                  TimeClockClient::servicePort(), ns.get());
    }
    std::string database() const { return folder.file("service.sqlite3"); }

    /// The input window a press closes: it opened at \a opened and counted \a keys and \a clicks,
    /// the press itself among the clicks.
    static ExpectedEvent inputs(WallSpan opened, WallSpan closed, int keys, int clicks) {
        return {Kind::Inputs, opened.from, opened.to, closed.from, closed.to, keys, clicks + 1};
    }
    static ExpectedEvent event(Kind kind, WallSpan span) { return {kind, span.from, span.to}; }

    TempDir folder;
    std::unique_ptr<NetworkNamespace> ns;
    std::unique_ptr<XDesktop> desktop;
    std::unique_ptr<ServerProcess> service;
    std::unique_ptr<TimeClockClient> client;
};

TEST_F(WorkingDay, FromSignInToQuit) {
    client->launchAndSignIn();
    const WallSpan clockIn = client->pressClockButton();
    client->pressKeys(5);
    client->clickIdleArea(3);
    const WallSpan pause = client->pressPauseButton();
    const WallSpan resume = client->pressPauseButton();
    const WallSpan clockOut = client->pressClockButton();
    EXPECT_EQ(client->quit(), 0);

    EXPECT_EQ(mismatch(storedEvents(database()),
                       {event(Kind::ClockIn, clockIn), inputs(clockIn, pause, 5, 3),
                        event(Kind::BreakStart, pause), event(Kind::BreakStop, resume),
                        inputs(resume, clockOut, 0, 0), event(Kind::ClockOut, clockOut)},
                       "demo", "demo"),
              "");
}

TEST_F(WorkingDay, ReportsQueuedWhenTheClientIsKilledAreDeliveredByTheNextLaunch) {
    client->launchAndSignIn();
    const WallSpan clockIn = client->pressClockButton();
    client->pressKeys(3);
    // The service is gone: the pause's reports fail and wait in the queue.
    service->stop();
    const WallSpan pause = client->pressPauseButton();
    client->kill();

    startService();
    client->launch();
    ASSERT_TRUE(client->waitUntilSignedIn());
    EXPECT_TRUE(waitFor(std::chrono::seconds(10), [&] { return storedEvents(database()).size() >= 3; }));
    EXPECT_EQ(client->quit(), 0);
    EXPECT_EQ(mismatch(storedEvents(database()),
                       {event(Kind::ClockIn, clockIn), inputs(clockIn, pause, 3, 0),
                        event(Kind::BreakStart, pause)},
                       "demo", "demo"),
              "");
}

} // namespace
