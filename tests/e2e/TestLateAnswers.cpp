// Answers that come after the client has stopped waiting (15 s): the service has stored the
// report, the client has not heard so and sends it again from its queue, under the same
// Idempotency-Key, and the service keeps it once. The window waits no longer than 15 s for any
// one answer. Slow by nature: two full waits.
#include "E2eTest.h"
#include "WaitFor.h"
#include "WindowPinger.h"

#include <csignal>

using namespace std::chrono_literals;
using Fault = FaultFront::Fault;

namespace {

class LateAnswers : public E2eTest {};

bool answered(const std::vector<FaultFront::Record>& records, const std::string& path, int attempt) {
    return std::any_of(records.begin(), records.end(), [&](const FaultFront::Record& record) {
        return record.request.path == path && record.request.attempt == attempt && record.done;
    });
}

int forwarded(const std::vector<FaultFront::Record>& records, const std::string& path) {
    return static_cast<int>(
        std::count_if(records.begin(), records.end(), [&](const FaultFront::Record& record) {
            return record.request.path == path && record.fault != Fault::ServerError;
        }));
}

TEST_F(LateAnswers, AReportAnsweredTooLateIsSentAgainAndStoredOnce) {
    // The clock-in is late when reported at once; the break stop fails at once, then is late
    // in the flush that retries it.
    startFront([](const FaultFront::Request& request) {
        if (request.path == "/api/time/clock-in" && request.attempt == 1)
            return Fault::LateAfterStore;
        if (request.path == "/api/break/stop" && request.attempt == 1)
            return Fault::ServerError;
        if (request.path == "/api/break/stop" && request.attempt == 2)
            return Fault::LateAfterStore;
        return Fault::Pass;
    });
    startService(backendPort);
    client->launchAndSignIn();
    WindowPinger pinger(client->mainWindow());

    SessionJournal journal;
    const auto pressed = std::chrono::steady_clock::now();
    journal.clockIn(client->pressClockButton());
    EXPECT_GE(secondsSince(pressed), 14.5) << "the client should have waited for the late answer";
    EXPECT_EQ(stored().size(), 1u) << "the service stores the report before it answers";
    ASSERT_TRUE(front->waitFor((pollInterval + 1s), [](const auto& records) {
        return answered(records, "/api/time/clock-in", 2);
    })) << "the client did not send the clock-in again";

    client->pressKeys(3);
    journal.keysPressed(3);
    journal.pause(client->pressPauseButton());
    journal.resume(client->pressPauseButton());
    // Refused at once, queued, then late in the next flush, then sent again by the one after.
    ASSERT_TRUE(front->waitFor(FaultFront::lateBy + 2 * (pollInterval + 1s), [](const auto& records) {
        return answered(records, "/api/break/stop", 3);
    })) << "the client did not retry the break stop after its late answer";
    ASSERT_TRUE(client->settle());
    journal.clockOut(client->pressClockButton());

    pinger.stop();
    RecordProperty("longestStallMs", static_cast<int>(pinger.longestStall().count()));
    // The two late answers held the window for one full wait each, and no longer.
    EXPECT_GE(pinger.longestStall(), 14s);
    EXPECT_LE(pinger.longestStall(), 16s)
        << "the window stopped taking events for " << pinger.longestStall().count() << " ms";
    const auto records = front->records();
    EXPECT_EQ(forwarded(records, "/api/time/clock-in"), 2) << "the service saw the clock-in twice";
    EXPECT_EQ(forwarded(records, "/api/break/stop"), 2) << "the service saw the break stop twice";

    EXPECT_EQ(client->quit(), 0);
    ASSERT_EQ(service->stop(SIGTERM), 0);
    expectStoredExactlyOnce(stored(), journal, Delivery::InOrder);
}

} // namespace
