#include "ServerProcess.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

using namespace corlune::server::test;
using nlohmann::json;

namespace {

const std::string oddEmployee = "Zo\xC3\xAB & Co+1";
const std::string oddJob = "job/\xC3\xA4 b?=";

json clockInBody(const std::string& employee, const std::string& job, const std::string& at) {
    return {{"employeeId", employee}, {"jobId", job}, {"clockIn", at}};
}

/// One server for the suite, with three employees.
class HttpApiTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = new TempDir();
        const std::string db = dir->file("track.db");
        addEmployee(db, "e1", "pw1", {"j1", "0"});
        addEmployee(db, oddEmployee, "pw \xE2\x82\xAC", {oddJob});
        addEmployee(db, "blank", "pw3", {""});
        server = new ServerProcess({"--db", db, "--latest-version", "2.4.1"});
    }
    static void TearDownTestSuite() {
        delete server;
        delete dir;
    }

    static json verifyAnswer(const std::string& employee, const std::string& job,
                             const std::string& password) {
        const Answer answer = server->post(
            "/api/users/verify", json{{"employeeId", employee}, {"jobId", job}, {"password", password}});
        EXPECT_EQ(answer.status, 200);
        return answer.body;
    }

    static TempDir* dir;
    static ServerProcess* server;
};

TempDir* HttpApiTest::dir = nullptr;
ServerProcess* HttpApiTest::server = nullptr;

TEST_F(HttpApiTest, VerifyNeedsTheRightPasswordAndAnAllowedJob) {
    EXPECT_EQ(verifyAnswer("e1", "j1", "pw1"), json({{"ok", true}}));
    EXPECT_EQ(verifyAnswer("e1", "0", "pw1"), json({{"ok", true}}));
    EXPECT_EQ(verifyAnswer(oddEmployee, oddJob, "pw \xE2\x82\xAC"), json({{"ok", true}}));
    EXPECT_EQ(verifyAnswer("blank", "", "pw3"), json({{"ok", true}}));
    EXPECT_EQ(verifyAnswer("e1", "", "pw1"), json({{"ok", false}}));
    EXPECT_EQ(verifyAnswer("e1", "j2", "pw1"), json({{"ok", false}}));
    EXPECT_EQ(verifyAnswer("nobody", "j1", "pw1"), json({{"ok", false}}));
}

TEST_F(HttpApiTest, VerifyRefusesMalformedBodies) {
    const Answer missing = server->post("/api/users/verify", json{{"employeeId", "e1"}, {"jobId", "j1"}});
    EXPECT_EQ(missing.status, 400);
    EXPECT_EQ(missing.body, json({{"error", "missing \"password\""}}));
    EXPECT_EQ(server->post("/api/users/verify", std::string("{\"employeeId\":\"e\xff\"}")).status, 400);
}

TEST_F(HttpApiTest, EveryEventEndpointStoresAndAnswers201) {
    const std::string at = "2023-01-10T08:00:00Z";
    const std::vector<std::pair<std::string, json>> reports = {
        {"/api/time/clock-in", {{"employeeId", "e1"}, {"jobId", "j1"}, {"clockIn", at}}},
        {"/api/break/start", {{"employeeId", "e1"}, {"jobId", "j1"}, {"start", at}}},
        {"/api/break/stop", {{"employeeId", "e1"}, {"jobId", "j1"}, {"end", at}}},
        {"/api/input/track",
         {{"employeeId", "e1"},
          {"jobId", "j1"},
          {"startedAt", at},
          {"endedAt", at},
          {"keystrokes", 0},
          {"clicks", 1}}},
        {"/api/time/clock-out", {{"employeeId", "e1"}, {"jobId", "j1"}, {"clockOut", at}}},
    };
    for (const auto& [path, body] : reports) {
        const Answer answer = server->post(path, body);
        EXPECT_EQ(answer.status, 201) << path;
        EXPECT_EQ(answer.body["ok"], true) << path;
        EXPECT_TRUE(answer.body["eventId"].is_number_integer()) << path;
    }
}

TEST_F(HttpApiTest, EventRefusalsCarryAnError) {
    const auto refused = [](const std::string& path, const std::string& body) {
        const Answer answer = server->post(path, body);
        EXPECT_TRUE(answer.body.is_object() && answer.body["error"].is_string()) << body;
        return answer.status;
    };
    EXPECT_EQ(refused("/api/time/clock-in", clockInBody("nobody", "j1", "2023-01-10T08:00:00Z").dump()), 404);
    EXPECT_EQ(refused("/api/time/clock-in", clockInBody("e1", "j9", "2023-01-10T08:00:00Z").dump()), 403);
    EXPECT_EQ(refused("/api/time/clock-in", clockInBody("e1", "j1", "2023-01-10T08:00:00+01:00").dump()),
              400);
    EXPECT_EQ(refused("/api/time/clock-in", clockInBody("e1", "j1", "2023-02-30T08:00:00Z").dump()), 400);
    EXPECT_EQ(
        refused("/api/time/clock-out", R"({"employeeId":"e1","jobId":1,"clockOut":"2023-01-10T08:00:00Z"})"),
        400);
    EXPECT_EQ(refused("/api/input/track",
                      R"({"employeeId":"e1","jobId":"j1","startedAt":"2023-01-10T08:00:00Z",)"
                      R"("endedAt":"2023-01-10T08:01:00Z","keystrokes":-3,"clicks":0})"),
              400);
    EXPECT_EQ(refused("/api/break/start", "[]"), 400);
    EXPECT_EQ(refused("/api/break/start", ""), 400);
    EXPECT_EQ(refused("/api/break/start", std::string(40, '[') + std::string(40, ']')), 400);
}

TEST_F(HttpApiTest, ARepeatedIdempotencyKeyIsAnsweredAlikeAndStoresNothing) {
    const std::string key = "3b241101-e2bb-4255-8caf-4136c566a962";
    const json body = clockInBody("e1", "0", "2023-02-01T08:00:00Z");
    const Answer first = server->post("/api/time/clock-in", body, key);
    const Answer again = server->post("/api/time/clock-in", body, key);
    EXPECT_EQ(first.status, 201);
    EXPECT_EQ(again.status, first.status);
    EXPECT_EQ(again.body, first.body);
    EXPECT_EQ(again.headers.find("Idempotent-Replayed")->second, "true");
    EXPECT_EQ(server->post("/api/time/clock-in", clockInBody("e1", "0", "2023-02-01T09:00:00Z"), key).status,
              422);
    // The clock-out closes one interval: a second stored clock-in would not change the total,
    // so count the stored events through a repeat without a key, which is stored every time.
    const Answer unkeyed1 = server->post("/api/time/clock-in", body);
    const Answer unkeyed2 = server->post("/api/time/clock-in", body);
    EXPECT_EQ(unkeyed2.body["eventId"].get<int>(), unkeyed1.body["eventId"].get<int>() + 1);
    EXPECT_EQ(unkeyed1.body["eventId"].get<int>(), first.body["eventId"].get<int>() + 1);
}

TEST_F(HttpApiTest, SummaryDecodesPercentEncodedValues) {
    ASSERT_EQ(
        server->post("/api/time/clock-in", clockInBody(oddEmployee, oddJob, "2023-03-01T08:00:00Z")).status,
        201);
    EXPECT_EQ(totalWorkMs(*server, oddEmployee, oddJob, "2023-03-01T00:00:00Z", "2023-03-01T08:00:05Z"),
              5000);
    // "+", ":" and "/" may also come unencoded; a "+" is a plus, not a space.
    const Answer plain =
        server->get("/api/time/summary?employeeId=Zo%C3%AB%20%26%20Co+1&jobId=job/%C3%A4%20b%3F%3D"
                    "&from=2023-03-01T00:00:00Z&to=2023-03-01T08:00:05Z");
    EXPECT_EQ(plain.body, json({{"totalWorkMs", 5000}}));
}

TEST_F(HttpApiTest, SummaryRefusals) {
    EXPECT_EQ(server->get("/api/time/summary?employeeId=e1&jobId=j1&from=2023-03-01T00:00:00Z").status, 400);
    EXPECT_EQ(
        server->get("/api/time/summary?employeeId=e1&jobId=j1&from=yesterday&to=2023-03-01T00:00:00Z").status,
        400);
    EXPECT_EQ(
        server
            ->get("/api/time/summary?employeeId=x&jobId=j1&from=2023-03-01T00:00:00Z&to=2023-03-01T00:00:00Z")
            .status,
        404);
    EXPECT_EQ(
        server
            ->get(
                "/api/time/summary?employeeId=e1&jobId=j7&from=2023-03-01T00:00:00Z&to=2023-03-01T00:00:00Z")
            .status,
        403);
}

TEST_F(HttpApiTest, VersionAnswersTheConfiguredVersionOnly) {
    EXPECT_EQ(server->get("/api/version").body, json({{"version", "2.4.1"}}));
}

TEST_F(HttpApiTest, ImpressionsAreNotFoundWithoutAFile) {
    const Answer answer = server->get("/api/analytics/impressions");
    EXPECT_EQ(answer.status, 404);
    EXPECT_TRUE(answer.body["error"].is_string());
}

TEST_F(HttpApiTest, UnknownPathsAndWrongMethodsAnswerJson) {
    const Answer unknown = server->get("/api/nothing");
    EXPECT_EQ(unknown.status, 404);
    EXPECT_TRUE(unknown.body["error"].is_string());
    const Answer wrongMethod = server->get("/api/time/clock-in");
    EXPECT_EQ(wrongMethod.status, 405);
    EXPECT_EQ(wrongMethod.headers.find("Allow")->second, "POST");
    EXPECT_TRUE(wrongMethod.body["error"].is_string());
    const Answer postToGet = server->post("/api/version", "{}");
    EXPECT_EQ(postToGet.status, 405);
    EXPECT_EQ(postToGet.headers.find("Allow")->second, "GET");
    auto client = server->client();
    const auto put = client.Put("/api/break/start", "{}", "application/json");
    ASSERT_TRUE(put);
    EXPECT_EQ(put->status, 405);
    const auto del = client.Delete("/api/users/verify");
    ASSERT_TRUE(del);
    EXPECT_EQ(del->status, 405);
    EXPECT_EQ(json::parse(del->body)["error"], "use POST");
}

TEST_F(HttpApiTest, BodiesOver64KiBAreRefused) {
    const std::string padding(64 * 1024, 'x');
    const Answer tooLarge =
        server->post("/api/time/clock-in", clockInBody("e1", "j1", "2023-01-10T08:00:00Z").dump() + padding);
    EXPECT_EQ(tooLarge.status, 413);
    EXPECT_TRUE(tooLarge.body["error"].is_string());
    json padded = clockInBody("e1", "j1", "2023-01-10T08:00:00Z");
    padded["pad"] = "";
    padded["pad"] = std::string(64 * 1024 - padded.dump().size(), 'x');
    ASSERT_EQ(padded.dump().size(), 64u * 1024);
    EXPECT_EQ(server->post("/api/time/clock-in", padded).status, 201);
}

TEST_F(HttpApiTest, PlainTextPostsAreRefused) {
    auto client = server->client();
    const auto answer = client.Post("/api/time/clock-in",
                                    clockInBody("e1", "j1", "2023-01-10T08:00:00Z").dump(), "text/plain");
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 415);
}

TEST(HttpServe, VersionAnnouncesAnUpdateWhenTold) {
    TempDir dir;
    ServerProcess server(
        {"--db", dir.file("t.db"), "--latest-version", "9.0.0", "--update-available", "true"});
    EXPECT_EQ(server.get("/api/version").body, json({{"version", "9.0.0"}, {"updateAvailable", true}}));
}

TEST(HttpServe, ImpressionsComeFromTheFileAndFollowItsChanges) {
    TempDir dir;
    const std::string file = dir.file("impressions.json");
    std::ofstream(file)
        << R"({"instagram":{"totalImpressions":5,"latest":{"impressions":2,"timestamp":"t"}},)"
           R"("tiktok":{"totalImpressions":"7k"}})";
    ServerProcess server({"--db", dir.file("t.db"), "--impressions", file});
    const Answer first = server.get("/api/analytics/impressions");
    EXPECT_EQ(first.status, 200);
    EXPECT_EQ(first.body["tiktok"]["totalImpressions"], "7k");
    std::ofstream(dir.file("next.json")) << R"({"instagram":{"totalImpressions":6}})";
    std::filesystem::rename(dir.file("next.json"), file);
    EXPECT_EQ(server.get("/api/analytics/impressions").body,
              json::parse(R"({"instagram":{"totalImpressions":6}})"));
}

TEST(HttpServe, DelayHoldsEventAnswersAfterStoringThem) {
    TempDir dir;
    addEmployee(dir.file("t.db"), "e1", "pw", {"j1"});
    ServerProcess server({"--db", dir.file("t.db"), "--delay-ms", "400"});
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(server.post("/api/time/clock-in", clockInBody("e1", "j1", "2023-01-10T08:00:00Z")).status, 201);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(400));
    const auto quick = std::chrono::steady_clock::now();
    EXPECT_EQ(server.get("/api/version").status, 200);
    EXPECT_LT(std::chrono::steady_clock::now() - quick, std::chrono::milliseconds(400));
    EXPECT_EQ(totalWorkMs(server, "e1", "j1", "2023-01-10T00:00:00Z", "2023-01-10T08:00:01Z"), 1000);
}

TEST(HttpServe, PortFileIsWrittenWhenReady) {
    TempDir dir;
    ServerProcess server({"--db", dir.file("t.db"), "--port-file", dir.file("port")});
    std::ifstream portFile(dir.file("port"));
    int port = 0;
    portFile >> port;
    EXPECT_EQ(port, server.port());
}

TEST(HttpServe, ServesHttpsWithTheGivenCertificate) {
    TempDir dir;
    const std::string cert = dir.file("cert.pem");
    const std::string key = dir.file("key.pem");
    const std::string command =
        "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=localhost -keyout " + key + " -out " +
        cert + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    ServerProcess server({"--db", dir.file("t.db"), "--tls-cert", cert, "--tls-key", key});
    httplib::SSLClient client("127.0.0.1", server.port());
    client.set_ca_cert_path(cert.c_str());
    client.enable_server_certificate_verification(false);
    const auto answer = client.Get("/api/version");
    ASSERT_TRUE(answer) << httplib::to_string(answer.error());
    EXPECT_EQ(answer->status, 200);
    EXPECT_EQ(json::parse(answer->body)["version"], CORLUNE_SERVER_VERSION);
    EXPECT_FALSE(server.client().Get("/api/version")); // plain HTTP gets no answer
}

} // namespace
