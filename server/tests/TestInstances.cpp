#include "PasswordHash.h"
#include "Postgres.h"
#include "Service.h"
#include "ServiceCore.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <barrier>
#include <thread>

using namespace corlune::server;
using namespace corlune::server::test;
using nlohmann::json;

namespace {

struct Instance {
    /// The status and body of a POST.
    std::pair<int, json> post(const std::string& path, const json& body) {
        const auto answer = client.Post(path, body.dump(), "application/json");
        return answer ? std::pair(answer->status, json::parse(answer->body)) : std::pair(0, json());
    }

    Service service;
    httplib::Client client{"127.0.0.1", service.port()};
};

TEST(TwoInstances, ShareKeysTokensTheSlowDownAndSummaries) {
    const TestDatabase database;
    openStorage(database.name())->addEmployee("e1", *hashPassword("pw"), {"j1"});
    ServeOptions o;
    std::tie(o.db, o.port) = std::tuple(database.name(), 0);
    Instance a{Service(o)};
    Instance b{Service(o)};
    const json right{{"employeeId", "e1"}, {"jobId", "j1"}, {"password", "pw"}};
    const auto [signedIn, verified] = a.post("/api/users/verify", right);
    ASSERT_EQ(signedIn, 200);
    const httplib::Headers token{{"Authorization", "Bearer " + verified.value("token", "")}};

    // Every key goes to both at once, from several connections each, so batches overlap.
    constexpr int senders = 4;
    constexpr int keysEach = 50;
    std::vector<std::vector<std::int64_t>> ids(2 * senders);
    std::barrier together(2 * senders);
    {
        std::vector<std::jthread> threads;
        for (int t = 0; t < 2 * senders; ++t) {
            threads.emplace_back([&, t] {
                Instance& to = t % 2 == 0 ? a : b;
                httplib::Client client("127.0.0.1", to.service.port());
                for (int k = t / 2; k < senders * keysEach; k += senders) {
                    // A second of work from each even k to the next.
                    char at[32];
                    std::snprintf(at, sizeof at, "2024-03-05T09:%02d:%02dZ", k / 60, k % 60);
                    const bool in = k % 2 == 0;
                    const json body =
                        eventBody(in ? EventKind::ClockIn : EventKind::ClockOut, "e1", "j1", at);
                    httplib::Headers headers = token;
                    headers.emplace("Idempotency-Key", "k" + std::to_string(k));
                    together.arrive_and_wait();
                    const auto answer = client.Post(in ? "/api/time/clock-in" : "/api/time/clock-out",
                                                    headers, body.dump(), "application/json");
                    ids[t].push_back(answer && answer->status == 201
                                         ? json::parse(answer->body).value("eventId", std::int64_t{-1})
                                         : -1);
                }
            });
        }
    }
    for (int t = 0; t < 2 * senders; t += 2) {
        EXPECT_EQ(ids[t], ids[t + 1]) << "both instances answer with the one stored event";
        EXPECT_EQ(std::count(ids[t].begin(), ids[t].end(), -1), 0);
    }
    EXPECT_EQ(database.number("SELECT count(*) FROM events"), senders * keysEach);

    const auto summary = [&](Instance& at) {
        const auto got = at.client.Get(
            "/api/time/summary?employeeId=e1&jobId=j1&from=2024-03-05T00:00:00Z&to=2024-03-05T10:00:00Z",
            token);
        return got ? got->body : "";
    };
    EXPECT_EQ(summary(a), R"({"totalWorkMs":100000})");
    EXPECT_EQ(summary(b), summary(a));

    json wrong = right;
    wrong["password"] = "guess";
    EXPECT_EQ(a.post("/api/users/verify", wrong), std::pair(200, json{{"ok", false}}));
    EXPECT_EQ(b.post("/api/users/verify", right).first, 429)
        << "the slow-down seen by one holds at the other";
}

/// Ends the sessions on the database, as a restart of PostgreSQL does, and lets no new one
/// start while `open` is false.
void cut(const TestDatabase& database, bool open) {
    const auto slash = database.name().rfind('/');
    const std::string name = database.name().substr(slash + 1);
    PgConnection(database.name().substr(0, slash + 1) + "postgres")
        .exec(("ALTER DATABASE " + name + " ALLOW_CONNECTIONS " + (open ? "true" : "false") +
               "; SELECT pg_terminate_backend(pid, 5000) FROM pg_stat_activity WHERE datname = '" + name +
               "'")
                  .c_str());
}

TEST(PostgresOutage, IsAnswered503AndOverOnceTheDatabaseIsBack) {
    ServiceCore service;
    const std::string token = service.signIn();
    cut(service.database, true);
    EXPECT_EQ(service.report(EventKind::ClockIn, "e1", "j1", "2024-03-05T08:00:00Z", token).status, 201)
        << "connections the server ended are made again";
    cut(service.database, false);
    EXPECT_EQ(service.report(EventKind::ClockIn, "e1", "j1", "2024-03-05T09:00:00Z", token).status, 503);
    EXPECT_EQ(service.verify("e1", "j1", "secret").status, 503);
    cut(service.database, true);
    EXPECT_EQ(service.report(EventKind::ClockIn, "e1", "j1", "2024-03-05T09:00:00Z", token).status, 201);
    EXPECT_EQ(service.verify("e1", "j1", "secret").body.value("ok", false), true);
}

} // namespace
