#include "ServerProcess.h"
#include "Sqlite.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <filesystem>
#include <future>
#include <netinet/in.h>
#include <random>
#include <set>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace corlune::server::test;
using corlune::server::Connection;
using corlune::server::Statement;
using nlohmann::json;

namespace {

json clockIn(const std::string& employee, const std::string& job, const std::string& at) {
    return {{"employeeId", employee}, {"jobId", job}, {"clockIn", at}};
}

json clockOut(const std::string& employee, const std::string& job, const std::string& at) {
    return {{"employeeId", employee}, {"jobId", job}, {"clockOut", at}};
}

std::string integrityCheck(const std::string& db) {
    Connection connection(db);
    Statement check(connection, "PRAGMA integrity_check");
    auto row = check.run();
    return row.step() ? row.text(0) : "no answer";
}

class RobustnessTest : public testing::Test {
protected:
    void SetUp() override { addEmployee(db, "e1", "pw1", {"j1"}); }

    TempDir dir;
    const std::string db = dir.file("track.db");
};

TEST_F(RobustnessTest, ARestartKeepsEveryEventAndKey) {
    std::int64_t firstId = 0;
    {
        ServerProcess server({"--db", db});
        firstId = server.post("/api/time/clock-in", clockIn("e1", "j1", "2024-03-05T09:00:00Z"), "k-in")
                      .body["eventId"];
        ASSERT_EQ(
            server.post("/api/time/clock-out", clockOut("e1", "j1", "2024-03-05T11:00:00Z"), "k-out").status,
            201);
        EXPECT_EQ(server.stop(SIGTERM), 0);
    }
    EXPECT_FALSE(std::filesystem::exists(db + "-wal")) << "the database was not closed cleanly";
    EXPECT_EQ(integrityCheck(db), "ok");
    ServerProcess again({"--db", db});
    EXPECT_EQ(totalWorkMs(again, "e1", "j1", "2024-03-05T00:00:00Z", "2024-03-05T23:59:59Z"),
              2 * 3600 * 1000);
    const Answer replay =
        again.post("/api/time/clock-in", clockIn("e1", "j1", "2024-03-05T09:00:00Z"), "k-in");
    EXPECT_EQ(replay.status, 201);
    EXPECT_EQ(replay.body["eventId"], firstId);
}

TEST_F(RobustnessTest, AnsweredEventsSurviveAKill) {
    {
        ServerProcess server({"--db", db});
        for (int i = 0; i < 50; ++i) {
            const std::string at =
                "2024-03-05T09:" + std::string(i < 10 ? "0" : "") + std::to_string(i) + ":00Z";
            ASSERT_EQ(server
                          .post(i % 2 == 0 ? "/api/time/clock-in" : "/api/time/clock-out",
                                i % 2 == 0 ? clockIn("e1", "j1", at) : clockOut("e1", "j1", at))
                          .status,
                      201);
        }
        EXPECT_EQ(server.stop(SIGKILL), 128 + SIGKILL);
    }
    ServerProcess again({"--db", db});
    EXPECT_EQ(totalWorkMs(again, "e1", "j1", "2024-03-05T00:00:00Z", "2024-03-05T23:59:59Z"), 25 * 60 * 1000);
    EXPECT_EQ(integrityCheck(db), "ok");
}

TEST_F(RobustnessTest, AStopLetsRequestsInFlightFinish) {
    ServerProcess server({"--db", db, "--delay-ms", "20000"});
    auto inFlight = std::async(std::launch::async, [&] {
        return server.post("/api/time/clock-in", clockIn("e1", "j1", "2024-03-05T09:00:00Z")).status;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto stopping = std::chrono::steady_clock::now();
    EXPECT_EQ(server.stop(SIGTERM), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - stopping, std::chrono::seconds(5));
    EXPECT_EQ(inFlight.get(), 201);
    ServerProcess again({"--db", db});
    EXPECT_EQ(totalWorkMs(again, "e1", "j1", "2024-03-05T00:00:00Z", "2024-03-05T10:00:00Z"), 3600 * 1000);
}

TEST_F(RobustnessTest, SigintStopsGracefullyToo) {
    ServerProcess server({"--db", db});
    ASSERT_EQ(server.get("/api/version").status, 200);
    EXPECT_EQ(server.stop(SIGINT), 0);
    EXPECT_FALSE(std::filesystem::exists(db + "-wal"));
}

TEST_F(RobustnessTest, ConcurrentWritersAreAllStoredOnce) {
    ServerProcess server({"--db", db});
    constexpr int writers = 8;
    constexpr int shifts = 25;
    std::mutex idsMutex;
    std::set<std::int64_t> ids;
    std::vector<std::thread> threads;
    for (int w = 0; w < writers; ++w) {
        threads.emplace_back([&, w] {
            for (int s = 0; s < shifts; ++s) {
                // One-minute shifts two minutes apart, none overlapping another writer's.
                const int slot = w * shifts + s;
                const auto at = [&](int offset) {
                    char text[32];
                    const int minutes = slot * 2 + offset;
                    std::snprintf(text, sizeof text, "2024-03-%02dT%02d:%02d:00Z", 5 + minutes / 1440,
                                  minutes / 60 % 24, minutes % 60);
                    return std::string(text);
                };
                const std::string key = "w" + std::to_string(w) + "-s" + std::to_string(s);
                for (int repeat = 0; repeat < 2; ++repeat) {
                    const Answer in =
                        server.post("/api/time/clock-in", clockIn("e1", "j1", at(0)), key + "-in");
                    const Answer out =
                        server.post("/api/time/clock-out", clockOut("e1", "j1", at(1)), key + "-out");
                    ASSERT_EQ(in.status, 201);
                    ASSERT_EQ(out.status, 201);
                    const std::lock_guard lock(idsMutex);
                    ids.insert(in.body["eventId"].get<std::int64_t>());
                    ids.insert(out.body["eventId"].get<std::int64_t>());
                }
            }
        });
    }
    for (auto& t : threads) {
        t.join();
    }
    EXPECT_EQ(ids.size(), static_cast<std::size_t>(writers * shifts * 2));
    EXPECT_EQ(totalWorkMs(server, "e1", "j1", "2024-03-05T00:00:00Z", "2024-03-07T00:00:00Z"),
              writers * shifts * 60 * 1000);
}

TEST_F(RobustnessTest, RepeatedVerifyFailuresAreSlowedDown) {
    addEmployee(db, "e2", "pw2", {"j1"});
    ServerProcess server({"--db", db});
    const auto verify = [&](const std::string& employee, const std::string& password) {
        return server
            .post("/api/users/verify",
                  json{{"employeeId", employee}, {"jobId", "j1"}, {"password", password}})
            .body["ok"]
            .get<bool>();
    };
    for (int i = 0; i < 5; ++i) {
        ASSERT_FALSE(verify("e1", "guess" + std::to_string(i)));
    }
    EXPECT_FALSE(verify("e1", "pw1")) << "the sixth attempt within a minute is answered no without a check";
    EXPECT_TRUE(verify("e2", "pw2")) << "other employees are not affected";
}

/// Random and mutated bodies, headers and raw bytes; the server must keep answering, and
/// the events of an employee the fuzz never names must stay as they were.
TEST_F(RobustnessTest, FuzzedRequestsNeverCrashTheServerOrDamageTheData) {
    addEmployee(db, "fuzz", "pw", {"f"});
    ServerProcess server({"--db", db});
    ASSERT_EQ(server.post("/api/time/clock-in", clockIn("e1", "j1", "2024-03-05T09:00:00Z")).status, 201);
    ASSERT_EQ(server.post("/api/time/clock-out", clockOut("e1", "j1", "2024-03-05T17:00:00Z")).status, 201);
    const auto keeperTotal = [&] {
        return totalWorkMs(server, "e1", "j1", "2024-03-05T00:00:00Z", "2024-03-05T23:59:59Z");
    };
    const std::int64_t before = keeperTotal();
    ASSERT_EQ(before, 8 * 3600 * 1000);

    const std::vector<std::pair<std::string, std::string>> templates = {
        {"/api/users/verify", R"({"employeeId":"fuzz","jobId":"f","password":"pw"})"},
        {"/api/time/clock-in", R"({"employeeId":"fuzz","jobId":"f","clockIn":"2024-03-05T09:00:00Z"})"},
        {"/api/time/clock-out", R"({"employeeId":"fuzz","jobId":"f","clockOut":"2024-03-05T10:00:00Z"})"},
        {"/api/break/start", R"({"employeeId":"fuzz","jobId":"f","start":"2024-03-05T09:10:00Z"})"},
        {"/api/break/stop", R"({"employeeId":"fuzz","jobId":"f","end":"2024-03-05T09:20:00Z"})"},
        {"/api/input/track", R"({"employeeId":"fuzz","jobId":"f","startedAt":"2024-03-05T09:00:00Z",)"
                             R"("endedAt":"2024-03-05T09:05:00Z","keystrokes":10,"clicks":2})"},
    };
    const std::vector<std::string> fragments = {
        "\xff",
        "\xc3",
        "\xed\xa0\x80",
        "\\u0000",
        "\\ud800",
        "\"",
        "\\",
        "{",
        "}",
        "[",
        "]",
        ":",
        ",",
        "null",
        "-1",
        "1e999",
        "18446744073709551616",
        "0.5",
        "true",
        std::string(200, '['),
        std::string(3000, 'a'),
        "\"2024-02-30T00:00:00Z\"",
        "\"9999-12-31T23:59:59Z\"",
        "{\"employeeId\":\"fuzz\"}",
        std::string(1, '\0'),
    };
    const unsigned seed = std::random_device{}();
    std::mt19937 random(seed);
    SCOPED_TRACE("fuzz seed " + std::to_string(seed));
    const auto pick = [&](std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
    };
    const auto mutate = [&](std::string body) {
        const int edits = 1 + static_cast<int>(pick(4));
        for (int e = 0; e < edits; ++e) {
            const std::size_t at = body.empty() ? 0 : pick(body.size());
            switch (pick(6)) {
            case 0:
                if (!body.empty()) {
                    body[at] = static_cast<char>(pick(256));
                }
                break;
            case 1:
                body.insert(at, fragments[pick(fragments.size())]);
                break;
            case 2:
                body.erase(at, pick(8));
                break;
            case 3:
                body.resize(at);
                break;
            case 4:
                body.insert(at, body.substr(at, pick(64)));
                break;
            default:
                body[at] = "0123456789\"{}[],:"[pick(17)];
                break;
            }
        }
        return body;
    };
    auto client = server.client();
    constexpr int bodies = 2000;
    for (int i = 0; i < bodies; ++i) {
        const auto& [path, valid] = templates[pick(templates.size())];
        std::string body;
        switch (pick(4)) {
        case 0:
            body.resize(pick(512));
            for (char& c : body) {
                c = static_cast<char>(pick(256));
            }
            break;
        case 1:
            body = valid;
            break;
        default:
            body = mutate(valid);
            break;
        }
        httplib::Headers headers;
        if (pick(3) == 0) {
            headers.emplace("Idempotency-Key", "fuzz-" + std::to_string(pick(50)));
        }
        const std::string type = pick(20) == 0 ? "text/plain" : "application/json";
        const auto answer =
            pick(10) == 0 ? client.Get(("/api/time/summary?employeeId=" + percentEncode(mutate("fuzz")) +
                                        "&jobId=f&from=" + percentEncode(mutate("2024-03-05T00:00:00Z")) +
                                        "&to=2024-03-06T00:00:00Z")
                                           .c_str())
                          : client.Post(path.c_str(), headers, body, type.c_str());
        ASSERT_TRUE(answer) << "no answer to request " << i << ": " << httplib::to_string(answer.error());
        ASSERT_LT(answer->status, 500)
            << "request " << i << " body " << json(body).dump(-1, ' ', false, json::error_handler_t::replace);
        ASSERT_TRUE(json::parse(answer->body, nullptr, false).is_object()) << "request " << i;
    }

    // Raw bytes that are not HTTP at all.
    for (int i = 0; i < 100; ++i) {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(server.port()));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        std::string junk =
            i % 2 == 0 ? "POST /api/time/clock-in HTTP/1.1\r\nContent-Length: 99999999999999999999\r\n\r\n"
                       : std::string(pick(10000), '\0');
        for (char& c : junk) {
            c = pick(3) == 0 ? static_cast<char>(pick(256)) : c;
        }
        [[maybe_unused]] const auto sent = send(fd, junk.data(), junk.size(), MSG_NOSIGNAL);
        close(fd);
    }

    EXPECT_EQ(server.get("/api/version").status, 200);
    EXPECT_EQ(keeperTotal(), before);
    EXPECT_EQ(server.stop(SIGTERM), 0);
    EXPECT_EQ(integrityCheck(db), "ok");
}

} // namespace
