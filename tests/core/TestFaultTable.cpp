// Every report of a working day reaches the service exactly once and in order, or is set aside
// when the service refuses it for good, whatever the way there does to its requests: the real
// transport and durable queue, the service on loopback with its tokens, and between them a front
// that fails requests as each row plans. Only the clocks, the idle time, reachability, prompts,
// the secret store and the settings are fakes.
#include "FakeDesktop.h"
#include "FaultFront.h"
#include "HttpTransport.h"
#include "PasswordHash.h"
#include "Service.h"
#include "Storage.h"
#include "StoredEvents.h"

#include <QFile>
#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>
#include <sqlite3.h>

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

/// "path" for each report waiting in the client's queue file, "path status" for one set aside.
std::vector<std::string> queueRows(const QString& path) {
    std::vector<std::string> rows;
    sqlite3* db = nullptr;
    sqlite3_stmt* select = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(path), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
        sqlite3_prepare_v2(db, "SELECT path || coalesce(' ' || refused_status, '') FROM pending ORDER BY id",
                           -1, &select, nullptr) == SQLITE_OK) {
        while (sqlite3_step(select) == SQLITE_ROW)
            rows.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(select, 0)));
    }
    sqlite3_finalize(select);
    sqlite3_close(db);
    return rows;
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

TEST_P(FaultTable, EveryReportIsStoredOnceInOrderOrSetAside) {
    const Row& row = GetParam();
    QTemporaryDir folder;
    const std::string database = folder.filePath("service.sqlite3").toStdString();
    static const std::string hash = corlune::server::hashPassword("pw").value();
    ASSERT_EQ(corlune::server::Storage(database).addEmployee(employee, hash, {job}),
              corlune::server::AddOutcome::Added);
    corlune::server::ServeOptions options;
    options.db = database;
    options.port = 0;
    options.threads = 4;
    corlune::server::Service service(options);
    const auto planned = [&row](const std::string& target, const std::function<bool(Fault)>& which) {
        return std::count_if(row.faults.begin(), row.faults.end(),
                             [&](const Planned& p) { return p.target == target && which(p.fault); });
    };
    // Answers past the client's bound of 2 s come too late.
    FaultFront front(
        service.port(),
        [&row](const FaultFront::Request& request) {
            for (const Planned& p : row.faults) {
                if (request.target == p.target && request.attempt == p.attempt)
                    return p.fault;
            }
            return Fault::Pass;
        },
        3s);
    const auto isReport = [](const FaultFront::Request& r) {
        return r.method == "POST" && r.target != "/api/users/verify";
    };

    FakeDesktop desktop(std::make_unique<HttpTransport>(
        QStringLiteral("http://127.0.0.1:%1").arg(front.port()), std::nullopt, 2s));
    desktop.remember(QString::fromStdString(employee), QString::fromStdString(job), "pw", true);
    desktop.signInPrompt->entries = {
        SignInEntry{QString::fromStdString(employee), "pw", QString::fromStdString(job), true}};
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

    // Failed reports wait in the queue file, which goes once they are all delivered; a report
    // refused for good stays there, set aside, and the ones behind it go on.
    std::vector<ExpectedEvent> expected;
    std::vector<std::string> setAside;
    for (std::size_t i = 0; i < day.size(); ++i) {
        if (planned(targets[i], [](Fault f) { return f == Fault::Refused; }))
            setAside.push_back(targets[i] + " 400");
        else
            expected.push_back(day[i]);
    }
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return storedEvents(database).size() >= expected.size() &&
                   queueRows(desktop.queuePath()) == setAside;
        },
        60000));
    EXPECT_FALSE(banner->isVisible());
    const QLabel* refused = FakeDesktop::window()->findChild<QLabel*>("refusedLabel");
    EXPECT_EQ(refused->isVisible() ? refused->text() : "",
              setAside.empty() ? "" : "1 report was refused by the service and set aside.");
    const std::vector<StoredEvent> stored = storedEvents(database);
    ASSERT_EQ(mismatch(stored, expected, employee, job), "");

    // Every attempt at a report carries one key, its own: one more than the row fails, unless
    // it is set aside. A 429 holds it back for its Retry-After.
    const std::vector<FaultFront::Request> requests = front.requests();
    std::set<std::string> keys;
    for (std::size_t i = 0; i < day.size(); ++i) {
        std::vector<FaultFront::Request> attempts;
        for (const FaultFront::Request& r : requests) {
            if (r.method == "POST" && r.target == targets[i] &&
                (attempts.empty() || r.key == attempts[0].key))
                attempts.push_back(r);
        }
        ASSERT_FALSE(attempts.empty()) << targets[i];
        keys.insert(attempts[0].key);
        EXPECT_EQ(attempts.back().attempt,
                  planned(targets[i], [](Fault f) { return f != Fault::Pass; }) + 1 -
                      planned(targets[i], [](Fault f) { return f == Fault::Refused; }))
            << targets[i];
        const bool holdsBack = planned(targets[i], [](Fault f) { return f == Fault::TooManyRequests; }) > 0;
        EXPECT_TRUE(!holdsBack || attempts.back().at - attempts.front().at >= 4s) << "Retry-After ignored";
    }
    EXPECT_TRUE(std::all_of(requests.begin(), requests.end(), [&](const FaultFront::Request& r) {
        return !r.toPortal && (!isReport(r) || keys.contains(r.key)) &&
               (r.target == "/api/users/verify" || r.target == "/api/version" ||
                r.authorization.starts_with("Bearer "));
    })) << "a report under another key or without a token, or a redirect followed";
    // A refused token is renewed with the stored password; a refused sign-in asks in the dialog.
    EXPECT_EQ(std::count_if(requests.begin(), requests.end(),
                            [](const FaultFront::Request& r) { return r.target == "/api/users/verify"; }),
              1 + planned("/api/users/verify", [](Fault f) { return f != Fault::Pass; }) +
                  std::count_if(row.faults.begin(), row.faults.end(),
                                [](const Planned& p) { return p.fault == Fault::Unauthorized; }));
    EXPECT_EQ(desktop.signInPrompt->dialogs,
              planned("/api/users/verify", [](Fault f) { return f != Fault::Pass; }));
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

const std::string clockIn = targets[0], inputs = targets[1], breakStart = targets[2], breakStop = targets[3],
                  clockOut = targets[4];

INSTANTIATE_TEST_SUITE_P(
    , FaultTable,
    ::testing::Values(Row{"AllAnswered", {}}, Row{"OfflineAllDay", {}, true},
                      // The reports behind a failed one wait for it.
                      Row{"ServerErrorTwice",
                          {{clockIn, 1, Fault::ServerError}, {clockIn, 2, Fault::ServerError}}},
                      Row{"HtmlPages", {{breakStart, 1, Fault::HtmlPage}, {breakStop, 1, Fault::HtmlOk}}},
                      Row{"HangUp", {{inputs, 1, Fault::HangUp}}},
                      Row{"HangUpAfterStore", {{breakStop, 1, Fault::HangUpAfterStore}}},
                      Row{"CutOffAfterStore", {{clockOut, 1, Fault::CutOffAfterStore}}},
                      Row{"LateAfterStore", {{clockIn, 1, Fault::LateAfterStore}}},
                      Row{"RedirectsToAPortal",
                          {{clockIn, 1, Fault::Moved},
                           {inputs, 1, Fault::Found},
                           {breakStart, 1, Fault::TemporaryRedirect},
                           {breakStop, 1, Fault::PermanentRedirect}}},
                      Row{"SignInRedirectedToAPortal", {{"/api/users/verify", 1, Fault::TemporaryRedirect}}},
                      Row{"RefusedAtTheHead", {{clockIn, 1, Fault::Refused}}},
                      Row{"TokenRefusedThenRenewed", {{breakStart, 1, Fault::Unauthorized}}},
                      Row{"TooManyRequests", {{inputs, 1, Fault::TooManyRequests}}},
                      // More than the six connections Qt keeps to one host.
                      Row{"AnswersThatNeverEnd",
                          {{clockIn, 1, Fault::Hang},
                           {clockIn, 2, Fault::Hang},
                           {clockIn, 3, Fault::Hang},
                           {clockIn, 4, Fault::NeverEnding},
                           {clockIn, 5, Fault::NeverEnding},
                           {clockIn, 6, Fault::NeverEnding},
                           {clockIn, 7, Fault::NeverEnding}}}),
    [](const ::testing::TestParamInfo<Row>& row) { return std::string(row.param.name); });

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
