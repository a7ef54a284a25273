// Every report of a working day reaches the service exactly once and in order, whatever the way
// there does to its requests: the real transport and durable queue, the service on loopback,
// and between them a front that fails requests as each row plans. Only the clocks, the idle
// time, reachability, prompts, the secret store and the settings are fakes.
#include "FakeDesktop.h"
#include "FaultFront.h"
#include "HttpTransport.h"
#include "PasswordHash.h"
#include "Service.h"
#include "Storage.h"
#include "StoredEvents.h"

#include <QFileInfo>
#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

#include <set>

using namespace std::chrono_literals;
using Fault = FaultFront::Fault;
using Kind = StoredEvent::Kind;

namespace {

// Both need encoding in the summary's query; neither is the other.
const std::string employee = "Ana 7&co";
const std::string job = "J/9";

std::int64_t at(int hour, int minute, int second) {
    return QDateTime(QDate(2024, 3, 5), QTime(hour, minute, second), Qt::UTC).toSecsSinceEpoch();
}

// The day the fake clocks dictate, as the service must store it, and where each report goes.
const std::vector<ExpectedEvent> day = {
    {Kind::ClockIn, at(9, 0, 0), at(9, 0, 0)},
    {Kind::Inputs, at(9, 0, 0), at(9, 0, 0), at(10, 0, 1), at(10, 0, 1), 0, 3},
    {Kind::BreakStart, at(10, 0, 1), at(10, 0, 1)},
    {Kind::BreakStop, at(10, 15, 2), at(10, 15, 2)},
    {Kind::ClockOut, at(12, 15, 3), at(12, 15, 3)},
};
const std::string targets[] = {"/api/time/clock-in", "/api/input/track", "/api/break/start",
                               "/api/break/stop", "/api/time/clock-out"};

struct Planned {
    std::string target;
    int attempt = 1;
    Fault fault = Fault::Pass;
};

struct Row {
    const char* name;
    std::vector<Planned> faults;
    /// The day is worked offline; the network comes back after it.
    bool offline = false;
};

void PrintTo(const Row& row, std::ostream* os) {
    *os << row.name;
}

// A 2xx status is a delivery, whatever follows it.
bool failsTheAttempt(Fault fault) {
    return fault != Fault::Pass && fault != Fault::LateAfterStore && fault != Fault::CutOffAfterStore;
}

void workTheDay(FakeDesktop& desktop) {
    desktop.advance(1370ms); // 09:00:00.870
    FakeDesktop::press("clockButton");
    desktop.global->click();
    desktop.global->click();
    desktop.advance(1h + 380ms); // 10:00:01.250
    // The press on Pause itself, which X hands over only after the button has acted.
    desktop.global->clickNotYetDelivered();
    FakeDesktop::press("pauseButton");
    desktop.advance(15min + 1250ms); // 10:15:02.500
    FakeDesktop::press("pauseButton");
    // Nothing counted since: the clock-out reports no inputs.
    desktop.advance(2h + 1499ms); // 12:15:03.999
    FakeDesktop::press("clockButton");
}

class FaultTable : public ::testing::TestWithParam<Row> {};

TEST_P(FaultTable, EveryReportIsStoredOnceInOrder) {
    const Row& row = GetParam();
    QTemporaryDir folder;
    const std::string database = folder.filePath("service.sqlite3").toStdString();
    static const std::string hash = corlune::server::hashPassword("pw").value();
    ASSERT_EQ(corlune::server::openStorage(database)->addEmployee(employee, hash, {job}),
              corlune::server::AddOutcome::Added);
    corlune::server::ServeOptions options;
    options.db = database;
    options.port = 0;
    options.threads = 4;
    options.allowAnonymousReports = true;
    corlune::server::Service service(options);
    FaultFront front(service.port(), [&row](const FaultFront::Request& request) {
        for (const Planned& planned : row.faults) {
            if (request.target == planned.target && request.attempt == planned.attempt)
                return planned.fault;
        }
        return Fault::Pass;
    });
    const auto isReport = [](const FaultFront::Request& r) {
        return r.method == "POST" && r.target != "/api/users/verify";
    };

    FakeDesktop desktop(
        std::make_unique<HttpTransport>(QStringLiteral("http://127.0.0.1:%1").arg(front.port())));
    desktop.remember(QString::fromStdString(employee), QString::fromStdString(job), "pw", true);
    desktop.wall->instant = QDateTime(QDate(2024, 3, 5), QTime(8, 59, 59, 500), Qt::UTC);
    if (row.offline)
        desktop.reachability->reachable.clear();
    desktop.app->applicationDidFinishLaunching();
    const QLabel* banner = FakeDesktop::window()->findChild<QLabel*>("syncLabel");
    EXPECT_EQ(banner->isVisible(), row.offline);
    workTheDay(desktop);
    if (row.offline) {
        const std::vector<FaultFront::Request> sent = front.requests();
        EXPECT_TRUE(std::none_of(sent.begin(), sent.end(), isReport)) << "sent while offline";
        desktop.reachability->reachable.insert(QHostAddress(QHostAddress::LocalHost));
    }

    // Failed reports wait in the queue file, which goes once they are all delivered.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return storedEvents(database).size() >= day.size() && !QFileInfo::exists(desktop.queuePath());
        },
        15000));
    EXPECT_FALSE(banner->isVisible());
    const std::vector<StoredEvent> stored = storedEvents(database);
    ASSERT_EQ(mismatch(stored, day, employee, job), "");

    // Every attempt at a report carries the key it was stored under: one more than the row fails.
    const std::vector<FaultFront::Request> requests = front.requests();
    std::set<std::string> keys;
    for (std::size_t i = 0; i < day.size(); ++i) {
        keys.insert(stored[i].idempotencyKey);
        const auto planned = std::count_if(row.faults.begin(), row.faults.end(), [&](const Planned& p) {
            return p.target == targets[i] && failsTheAttempt(p.fault);
        });
        int made = 0;
        for (const FaultFront::Request& r : requests) {
            if (r.method == "POST" && r.target == targets[i] && r.key == stored[i].idempotencyKey)
                made = std::max(made, r.attempt);
        }
        EXPECT_EQ(made, planned + 1) << targets[i];
    }
    EXPECT_TRUE(std::all_of(requests.begin(), requests.end(), [&](const FaultFront::Request& r) {
        return !isReport(r) || keys.contains(r.key);
    })) << "a report went out under another key";
    // Today's total is asked once, at sign-in, from the start of the local day (UTC+2) to now.
    EXPECT_EQ(std::count_if(requests.begin(), requests.end(),
                            [](const FaultFront::Request& r) {
                                return r.method == "GET" &&
                                       r.target ==
                                           "/api/time/summary?employeeId=Ana%207%26co&jobId=J%2F9"
                                           "&from=2024-03-04T22%3A00%3A00Z&to=2024-03-05T08%3A59%3A59Z";
                            }),
              1);
}

INSTANTIATE_TEST_SUITE_P(
    , FaultTable,
    ::testing::Values(Row{"AllAnswered", {}}, Row{"OfflineAllDay", {}, true},
                      Row{"ServerError", {{"/api/time/clock-in", 1, Fault::ServerError}}},
                      Row{"HtmlPage", {{"/api/break/start", 1, Fault::HtmlPage}}},
                      Row{"HangUp", {{"/api/input/track", 1, Fault::HangUp}}},
                      Row{"HangUpAfterStore", {{"/api/break/stop", 1, Fault::HangUpAfterStore}}},
                      Row{"CutOffAfterStore", {{"/api/time/clock-out", 1, Fault::CutOffAfterStore}}},
                      Row{"LateAfterStore", {{"/api/time/clock-in", 1, Fault::LateAfterStore}}}),
    [](const ::testing::TestParamInfo<Row>& row) { return std::string(row.param.name); });

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
