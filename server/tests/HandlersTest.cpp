#include "Handlers.h"
#include "FakeClock.h"
#include "PasswordHash.h"
#include "TempDir.h"

#include <gtest/gtest.h>

using namespace corlune::server;
using nlohmann::json;

namespace {

ApiRequest post(const std::string& body, const std::string& key = {}) {
    return ApiRequest{body, "application/json", key, {}};
}

class HandlersTest : public testing::Test {
protected:
    static void SetUpTestSuite() { hash = new std::string(hashPassword("secret").value()); }
    static void TearDownTestSuite() { delete hash; }

    void SetUp() override { ASSERT_EQ(storage.addEmployee("e1", *hash, {"j1", "0"}), AddOutcome::Added); }

    ApiResponse verify(const std::string& employee, const std::string& job, const std::string& password) {
        return handlers.verify(
            post(json{{"employeeId", employee}, {"jobId", job}, {"password", password}}.dump()));
    }

    ApiResponse clockIn(const std::string& at, const std::string& key = {},
                        const std::string& employee = "e1", const std::string& job = "j1") {
        return handlers.report(
            EventKind::ClockIn,
            post(json{{"employeeId", employee}, {"jobId", job}, {"clockIn", at}}.dump(), key));
    }

    static std::string* hash;
    test::TempDir dir;
    Storage storage{dir.file("track.db")};
    test::FakeClock clock;
    VerifyThrottle throttle{clock};
    std::unique_ptr<Impressions> impressions = Impressions::fixed(Impressions::demoFigures());
    Handlers handlers{storage, throttle, impressions.get(), VersionAnswer{"2.1.0", std::nullopt}};
};

std::string* HandlersTest::hash = nullptr;

TEST_F(HandlersTest, VerifyAcceptsOnlyTheWholeTriple) {
    EXPECT_EQ(verify("e1", "j1", "secret").body, json({{"ok", true}}));
    EXPECT_EQ(verify("e1", "0", "secret").body, json({{"ok", true}}));
    EXPECT_EQ(verify("e1", "j1", "Secret").body, json({{"ok", false}}));
    EXPECT_EQ(verify("e1", "j2", "secret").body, json({{"ok", false}}));
    EXPECT_EQ(verify("e2", "j1", "secret").body, json({{"ok", false}}));
    EXPECT_EQ(verify("e1", "j1", "secret").status, 200);
    EXPECT_EQ(verify(std::string(200, 'e'), "j1", "secret").body, json({{"ok", false}}));
}

TEST_F(HandlersTest, VerifyIsLockedAfterFiveFailures) {
    for (int i = 0; i < 5; ++i) {
        ASSERT_EQ(verify("e1", "j1", "guess").body, json({{"ok", false}}));
    }
    EXPECT_EQ(verify("e1", "j1", "secret").body, json({{"ok", false}}));
    EXPECT_EQ(verify("e1", "j1", "secret").status, 200);
    clock.advance(std::chrono::seconds(30));
    EXPECT_EQ(verify("e1", "j1", "secret").body, json({{"ok", true}}));
}

TEST_F(HandlersTest, VerifyRefusesMalformedBodies) {
    EXPECT_EQ(handlers.verify(post(R"({"employeeId":"e1","jobId":"j1"})")).status, 400);
    EXPECT_EQ(handlers.verify(post("not json")).status, 400);
    EXPECT_EQ(handlers
                  .verify(ApiRequest{
                      R"({"employeeId":"e1","jobId":"j1","password":"secret"})", "text/plain", {}, {}})
                  .status,
              415);
}

TEST_F(HandlersTest, ReportsAreStoredAndAnswered201) {
    const auto answer = clockIn("2024-03-05T09:00:00Z");
    EXPECT_EQ(answer.status, 201);
    EXPECT_EQ(answer.body["ok"], true);
    EXPECT_TRUE(answer.body["eventId"].is_number_integer());
    EXPECT_TRUE(answer.headers.empty());
}

TEST_F(HandlersTest, ARepeatedKeyGetsTheFirstAnswer) {
    const auto first = clockIn("2024-03-05T09:00:00Z", "6f1c2a57-0d5e-4d8e-9a7b-2f2b8c1d0e11");
    const auto again = clockIn("2024-03-05T09:00:00Z", "6f1c2a57-0d5e-4d8e-9a7b-2f2b8c1d0e11");
    EXPECT_EQ(again.status, first.status);
    EXPECT_EQ(again.body, first.body);
    ASSERT_EQ(again.headers.size(), 1u);
    EXPECT_EQ(again.headers[0], (std::pair<std::string, std::string>{"Idempotent-Replayed", "true"}));
    EXPECT_EQ(clockIn("2024-03-05T09:00:01Z", "6f1c2a57-0d5e-4d8e-9a7b-2f2b8c1d0e11").status, 422);
}

TEST_F(HandlersTest, ReportRefusals) {
    EXPECT_EQ(clockIn("2024-03-05T09:00:00Z", "", "e2").status, 404);
    EXPECT_EQ(clockIn("2024-03-05T09:00:00Z", "", "e1", "j2").status, 403);
    const auto malformed = clockIn("2024-03-05T09:00:00.000Z");
    EXPECT_EQ(malformed.status, 400);
    EXPECT_EQ(malformed.body["error"], "\"clockIn\" must be a UTC timestamp YYYY-MM-DDTHH:MM:SSZ");
    EXPECT_EQ(clockIn("2024-03-05T09:00:00Z", "has space").status, 400);
    EXPECT_EQ(clockIn("2024-03-05T09:00:00Z", std::string(256, 'k')).status, 400);
    EXPECT_EQ(clockIn("2024-03-05T09:00:00Z", std::string(255, 'k')).status, 201);
    EXPECT_EQ(handlers.report(EventKind::BreakStop, ApiRequest{"{}", "", {}, {}}).status, 415);
}

TEST_F(HandlersTest, SummaryAddsUpTheStoredWork) {
    ASSERT_EQ(clockIn("2024-03-05T09:00:00Z").status, 201);
    const auto summary = [&](const char* employee, const char* job) {
        return handlers.summary(ApiRequest{{},
                                           {},
                                           {},
                                           {{"employeeId", employee},
                                            {"jobId", job},
                                            {"from", "2024-03-05T00:00:00Z"},
                                            {"to", "2024-03-05T09:30:00Z"}}});
    };
    EXPECT_EQ(summary("e1", "j1").body, json({{"totalWorkMs", 1800000}}));
    EXPECT_EQ(summary("e1", "0").body, json({{"totalWorkMs", 0}}));
    EXPECT_EQ(summary("e2", "j1").status, 404);
    EXPECT_EQ(summary("e1", "j2").status, 403);
    EXPECT_EQ(handlers.summary(ApiRequest{}).status, 400);
}

TEST_F(HandlersTest, VersionSendsUpdateAvailableOnlyWhenSet) {
    EXPECT_EQ(handlers.version().body, json({{"version", "2.1.0"}}));
    Handlers announcing(storage, throttle, nullptr, VersionAnswer{"3.0", true});
    EXPECT_EQ(announcing.version().body, json({{"version", "3.0"}, {"updateAvailable", true}}));
}

TEST_F(HandlersTest, Impressions) {
    EXPECT_EQ(handlers.impressions().body, Impressions::demoFigures());
    Handlers without(storage, throttle, nullptr, VersionAnswer{});
    EXPECT_EQ(without.impressions().status, 404);
    auto missing = Impressions::fromFile(dir.file("absent.json"));
    Handlers unready(storage, throttle, missing.get(), VersionAnswer{});
    EXPECT_EQ(unready.impressions().status, 503);
}

TEST(MediaType, JsonWithOrWithoutParameters) {
    EXPECT_TRUE(isJsonMediaType("application/json"));
    EXPECT_TRUE(isJsonMediaType("Application/JSON; charset=utf-8"));
    EXPECT_TRUE(isJsonMediaType(" application/json ;charset=UTF-8"));
    EXPECT_FALSE(isJsonMediaType(""));
    EXPECT_FALSE(isJsonMediaType("text/plain"));
    EXPECT_FALSE(isJsonMediaType("application/jsonp"));
    EXPECT_FALSE(isJsonMediaType("application/x-www-form-urlencoded"));
}

} // namespace
