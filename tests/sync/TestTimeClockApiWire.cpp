// The whole client side of the wire, as a real server receives it.
#include "FakeClocks.h"
#include "HttpTransport.h"
#include "LocalHttpServer.h"
#include "OfflineQueue.h"
#include "SyncState.h"
#include "TimeClockApi.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <regex>

namespace {

using nlohmann::json;

TEST(TimeClockApiWire, EveryBodyHasExactlyItsMembersAndTypes) {
    LocalHttpServer server;
    server.setResponder([](const LocalHttpServer::Received& r, httplib::Response& response) {
        response.set_content(r.path == "/api/users/verify" ? R"({"ok":true})" : R"({"totalWorkMs":3723000})",
                             "application/json");
    });
    HttpTransport transport(server.baseUrl());
    QTemporaryDir dir;
    SyncState state;
    state.employeeId = QStringLiteral("Émile 7");
    state.jobId = QStringLiteral("0");
    FakeWallClock wall;
    wall.instant = QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9, 870), Qt::UTC);
    OfflineQueue queue(state, transport, dir.filePath("q.sqlite3"));
    TimeClockApi api(state, transport, queue, wall);

    const QDateTime from(QDate(2024, 3, 5), QTime(9, 0, 0, 500), Qt::UTC);
    EXPECT_TRUE(api.apiVerifyEmployee(QString::fromUtf8("Émile 7"), "0", "pässword"));
    api.apiClockInAt(from);
    api.apiTrackInputsFrom(from, std::nullopt, 1234, 56);
    api.apiBreakStartAt(std::nullopt);
    api.apiBreakStopAt(std::nullopt);
    api.apiClockOutAt(std::nullopt);
    EXPECT_EQ(api.timeSummaryFrom(from, std::nullopt), (QJsonObject{{"totalWorkMs", 3723000}}));
    EXPECT_TRUE(queue.pendingQueue().isEmpty());

    const std::string now = "2024-03-05T14:07:09Z";
    const std::string at = "2024-03-05T09:00:00Z";
    const struct {
        const char* path;
        json body;
    } expected[] = {
        {"/api/users/verify", {{"employeeId", "Émile 7"}, {"jobId", "0"}, {"password", "pässword"}}},
        {"/api/time/clock-in", {{"employeeId", "Émile 7"}, {"jobId", "0"}, {"clockIn", at}}},
        {"/api/input/track",
         {{"employeeId", "Émile 7"},
          {"jobId", "0"},
          {"keystrokes", 1234},
          {"clicks", 56},
          {"startedAt", at},
          {"endedAt", now}}},
        {"/api/break/start", {{"employeeId", "Émile 7"}, {"jobId", "0"}, {"start", now}}},
        {"/api/break/stop", {{"employeeId", "Émile 7"}, {"jobId", "0"}, {"end", now}}},
        {"/api/time/clock-out", {{"employeeId", "Émile 7"}, {"jobId", "0"}, {"clockOut", now}}},
    };
    const auto received = server.received();
    ASSERT_EQ(received.size(), std::size(expected) + 1);
    std::set<std::string> keys;
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        const auto& r = received[i];
        EXPECT_EQ(r.method, "POST") << r.path;
        EXPECT_EQ(r.path, expected[i].path);
        EXPECT_EQ(r.contentType, "application/json");
        const json body = json::parse(r.body);
        // json equality compares types too: "1234" or 1234.0 would not match 1234.
        EXPECT_EQ(body, expected[i].body) << r.path << ": " << r.body;
        if (i > 0) {
            EXPECT_TRUE(
                std::regex_match(r.idempotencyKey, std::regex("[0-9a-f]{8}(-[0-9a-f]{4}){3}-[0-9a-f]{12}")))
                << r.idempotencyKey;
            keys.insert(r.idempotencyKey);
        }
    }
    EXPECT_FALSE(received[0].hasIdempotencyKey);
    EXPECT_EQ(keys.size(), std::size(expected) - 1);
    EXPECT_TRUE(json::parse(received[2].body)["keystrokes"].is_number_integer());

    const auto& summary = received.back();
    EXPECT_EQ(summary.method, "GET");
    EXPECT_EQ(summary.body, "");
    EXPECT_EQ(summary.target, "/api/time/summary?employeeId=%C3%89mile%207&jobId=0"
                              "&from=2024-03-05T09%3A00%3A00Z&to=2024-03-05T14%3A07%3A09Z");
    EXPECT_EQ(summary.params.find("employeeId")->second, "Émile 7");
    EXPECT_EQ(summary.params.find("from")->second, at);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
