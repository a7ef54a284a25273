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
#include <QProcess>
#include <QSslCertificate>
#include <QTest>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <set>

using namespace std::chrono_literals;
using Kind = StoredEvent::Kind;

namespace {

// Each needs encoding in the summary's query in its own way.
const std::string employee = "Ana 7&co+\xC3\xA9=";
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
const std::string clockIn = "/api/time/clock-in", inputs = "/api/input/track",
                  breakStart = "/api/break/start", breakStop = "/api/break/stop",
                  clockOut = "/api/time/clock-out", verify = "/api/users/verify";
const std::string targets[] = {clockIn, inputs, breakStart, breakStop, clockOut};

struct Planned {
    std::string target;
    int attempt = 1;
    int fault = FaultFront::Pass;
};

struct Row {
    const char* name;
    std::vector<Planned> faults;
    /// The day is worked offline; the network comes back after it.
    bool offline = false;

    int fault(const FaultFront::Request& request) const {
        const auto found = std::find_if(faults.begin(), faults.end(), [&](const Planned& p) {
            return request.target == p.target && request.attempt == p.attempt;
        });
        return found == faults.end() ? int(FaultFront::Pass) : found->fault;
    }
    /// How many faults are planned on \a target: all, or those that are \a fault.
    long on(const std::string& target, int fault = -1) const {
        return std::count_if(faults.begin(), faults.end(), [&](const Planned& p) {
            return p.target == target && (fault < 0 || p.fault == fault);
        });
    }
};

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

corlune::server::ServeOptions serving(const QTemporaryDir& folder) {
    corlune::server::ServeOptions options;
    options.db = folder.filePath("service.sqlite3").toStdString();
    options.port = 0;
    options.threads = 4;
    return options;
}

QString origin(const char* scheme, int port) {
    return QStringLiteral("%1://127.0.0.1:%2").arg(QLatin1String(scheme)).arg(port);
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
    const corlune::server::ServeOptions options = serving(folder);
    const std::string& database = options.db;
    static const std::string hash = corlune::server::hashPassword("pw").value();
    ASSERT_EQ(corlune::server::openStorage(database)->addEmployee(employee, hash, {job}),
              corlune::server::AddOutcome::Added);
    corlune::server::Service service(options);
    // Answers held 3 s come after the client's bound of 2 s.
    FaultFront front(
        service.port(), [&row](const FaultFront::Request& request) { return row.fault(request); }, 3s);
    const auto isReport = [](const FaultFront::Request& r) {
        return r.method == "POST" && r.target != verify;
    };

    const QString ana = QString::fromStdString(employee);
    FakeDesktop desktop(std::make_unique<HttpTransport>(origin("http", front.port()), std::nullopt, 2s));
    desktop.remember(ana, QString::fromStdString(job), "pw", true);
    desktop.signInPrompt->entries = {SignInEntry{ana, "pw", QString::fromStdString(job), true}};
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
        if (row.on(targets[i], 400))
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
    // it is set aside. A failed attempt is tried again at a later poll (every 3 s), after a 429
    // not before its Retry-After, and after a refused token as soon as it is renewed.
    const std::vector<FaultFront::Request> requests = front.requests();
    std::set<std::string> keys;
    for (const std::string& target : targets) {
        std::vector<FaultFront::Request> attempts;
        for (const FaultFront::Request& r : requests) {
            if (isReport(r) && r.target == target && (attempts.empty() || r.key == attempts[0].key))
                attempts.push_back(r);
        }
        ASSERT_FALSE(attempts.empty()) << target;
        keys.insert(attempts[0].key);
        EXPECT_EQ(attempts.back().attempt, row.on(target) + 1 - row.on(target, 400)) << target;
        for (std::size_t a = 1; a < attempts.size(); ++a) {
            EXPECT_TRUE(attempts[a].attempt == attempts[a - 1].attempt || row.on(target, 401) ||
                        attempts[a].at - attempts[a - 1].at >= (row.on(target, 429) ? 4s : 1s))
                << target << ": tried again too soon";
        }
    }
    EXPECT_TRUE(std::all_of(requests.begin(), requests.end(), [&](const FaultFront::Request& r) {
        return !r.toPortal && (!isReport(r) || keys.contains(r.key)) &&
               (r.target == verify || r.target == "/api/version" || r.authorization.starts_with("Bearer "));
    })) << "a report under another key or without a token, or a redirect followed";
    // A refused token is renewed with the stored password; a refused sign-in asks in the dialog.
    EXPECT_EQ(
        std::count_if(requests.begin(), requests.end(), [](const auto& r) { return r.target == verify; }),
        1 + row.on(verify) + std::count_if(row.faults.begin(), row.faults.end(), [](const Planned& p) {
            return p.fault == 401;
        }));
    EXPECT_EQ(desktop.signInPrompt->dialogs, row.on(verify));
    // Today's total is asked once, at sign-in, from the start of the local day (UTC+2) to now.
    EXPECT_EQ(std::count_if(requests.begin(), requests.end(),
                            [](const FaultFront::Request& r) {
                                return r.target ==
                                       "/api/time/summary?employeeId=Ana%207%26co%2B%C3%A9%3D&jobId="
                                       "J%2F9&from=2024-03-04T22%3A00%3A00Z&to=2024-03-05T08%3A59%3A59Z";
                            }),
              1);
}

INSTANTIATE_TEST_SUITE_P(
    , FaultTable,
    ::testing::Values(Row{"AllAnswered", {}}, Row{"OfflineAllDay", {}, true},
                      // The reports behind a failed one wait for it.
                      Row{"ServerErrorTwice", {{clockIn, 1, 500}, {clockIn, 2, 500}}},
                      Row{"HtmlPages", {{breakStart, 1, 502}, {breakStop, 1, 200}}},
                      Row{"HangUp", {{inputs, 1, FaultFront::HangUp}}},
                      Row{"CutOffAfterStore", {{clockOut, 1, FaultFront::CutOffAfterStore}}},
                      Row{"LateAfterStore", {{clockIn, 1, FaultFront::LateAfterStore}}},
                      Row{"RedirectsToAPortal",
                          {{clockIn, 1, 301}, {inputs, 1, 302}, {breakStart, 1, 307}, {breakStop, 1, 308}}},
                      Row{"SignInRedirectedToAPortal", {{verify, 1, 307}}},
                      Row{"RefusedAtTheHead", {{clockIn, 1, 400}}},
                      Row{"TokenRefusedThenRenewed", {{breakStart, 1, 401}}},
                      Row{"TooManyRequests", {{inputs, 1, 429}}},
                      // More than the six connections Qt keeps to one host.
                      Row{"AnswersThatNeverEnd",
                          {{clockIn, 1, FaultFront::Hang},
                           {clockIn, 2, FaultFront::Hang},
                           {clockIn, 3, FaultFront::Hang},
                           {clockIn, 4, FaultFront::NeverEnding},
                           {clockIn, 5, FaultFront::NeverEnding},
                           {clockIn, 6, FaultFront::NeverEnding},
                           {clockIn, 7, FaultFront::NeverEnding}}}),
    [](const ::testing::TestParamInfo<Row>& row) { return std::string(row.param.name); });

// The rows above shorten the transport's bound; this is the bound a caller meets.
TEST(HttpTransport, ACallerWaits15SecondsForALateAnswerAndNoLonger) {
    QTemporaryDir folder;
    corlune::server::ServeOptions options = serving(folder);
    options.delay = 20s;
    options.delayScope = corlune::server::DelayScope::All;
    corlune::server::Service service(options);
    const auto start = std::chrono::steady_clock::now();
    const JsonReply reply =
        HttpTransport(origin("http", service.port())).sendJSONRequestMethod("GET", "/api/version", {});
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(reply.status == 0 && !reply.result);
    EXPECT_GE(waited, 15s);
    EXPECT_LT(waited, 17s);
}

TEST(HttpTransport, OnlyACertificateOfATrustedAuthorityIsAnswered) {
    // A throw-away certificate for 127.0.0.1 that is its own authority.
    QTemporaryDir folder;
    QProcess openssl;
    openssl.setWorkingDirectory(folder.path());
    openssl.start("openssl",
                  {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "key.pem", "-out", "cert.pem",
                   "-days", "2", "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1"});
    ASSERT_TRUE(openssl.waitForFinished(30000) && openssl.exitCode() == 0);
    corlune::server::ServeOptions options = serving(folder);
    options.tlsCert = folder.filePath("cert.pem").toStdString();
    options.tlsKey = folder.filePath("key.pem").toStdString();
    corlune::server::Service service(options);
    QSslConfiguration trusting = QSslConfiguration::defaultConfiguration();
    trusting.setCaCertificates(QSslCertificate::fromPath(folder.filePath("cert.pem")));

    const JsonReply trusted = HttpTransport(origin("https", service.port()), trusting)
                                  .sendJSONRequestMethod("GET", "/api/version", {});
    EXPECT_TRUE(trusted.status == 200 && trusted.result);
    // The system's authorities do not know it.
    const JsonReply refused =
        HttpTransport(origin("https", service.port())).sendJSONRequestMethod("GET", "/api/version", {});
    EXPECT_TRUE(refused.status == 0 && refused.error);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
