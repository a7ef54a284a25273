#include "ServerProcess.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <map>

using namespace corlune::server::test;
using nlohmann::json;

namespace {

constexpr std::int64_t minute = 60 * 1000;
constexpr std::int64_t hour = 60 * minute;

/// One server and one employee; each test works on a job of its own.
class SummaryHttpTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = new TempDir();
        addEmployee(dir->file("track.db"), "w", "pw",
                    {"midnight", "open", "breaks", "late", "odd", "queued"});
        server = new ServerProcess({"--db", dir->file("track.db")});
    }
    static void TearDownTestSuite() {
        delete server;
        delete dir;
    }

    /// Sends one report: "in", "out", "break", "resume" at a timestamp.
    static void send(const std::string& job, const std::string& what, const std::string& at) {
        static const std::map<std::string, std::pair<std::string, std::string>> endpoints = {
            {"in", {"/api/time/clock-in", "clockIn"}},
            {"out", {"/api/time/clock-out", "clockOut"}},
            {"break", {"/api/break/start", "start"}},
            {"resume", {"/api/break/stop", "end"}},
        };
        const auto& [path, member] = endpoints.at(what);
        ASSERT_EQ(server->post(path, json{{"employeeId", "w"}, {"jobId", job}, {member, at}}).status, 201)
            << what << " " << at;
    }

    static std::int64_t total(const std::string& job, const std::string& from, const std::string& to) {
        return totalWorkMs(*server, "w", job, from, to);
    }

    static TempDir* dir;
    static ServerProcess* server;
};

TempDir* SummaryHttpTest::dir = nullptr;
ServerProcess* SummaryHttpTest::server = nullptr;

TEST_F(SummaryHttpTest, AShiftCrossingMidnightIsSplitBetweenTheDays) {
    send("midnight", "in", "2024-03-04T22:00:00Z");
    send("midnight", "out", "2024-03-05T02:30:00Z");
    EXPECT_EQ(total("midnight", "2024-03-04T00:00:00Z", "2024-03-05T00:00:00Z"), 2 * hour);
    EXPECT_EQ(total("midnight", "2024-03-05T00:00:00Z", "2024-03-05T23:59:59Z"), 2 * hour + 30 * minute);
    EXPECT_EQ(total("midnight", "1970-01-01T00:00:00Z", "2024-03-06T00:00:00Z"), 4 * hour + 30 * minute);
    // A local day that starts at 22:00 UTC (UTC+2) takes the whole shift.
    EXPECT_EQ(total("midnight", "2024-03-04T22:00:00Z", "2024-03-05T21:59:59Z"), 4 * hour + 30 * minute);
}

TEST_F(SummaryHttpTest, AnOpenIntervalCountsUpToTo) {
    send("open", "in", "2024-03-05T09:00:00Z");
    EXPECT_EQ(total("open", "2024-03-05T00:00:00Z", "2024-03-05T10:15:00Z"), hour + 15 * minute);
    EXPECT_EQ(total("open", "2024-03-05T00:00:00Z", "2024-03-05T09:00:01Z"), 1000);
    EXPECT_EQ(total("open", "2024-03-05T00:00:00Z", "2024-03-05T08:59:59Z"), 0);
}

TEST_F(SummaryHttpTest, BreaksAreSubtracted) {
    send("breaks", "in", "2024-03-05T09:00:00Z");
    send("breaks", "break", "2024-03-05T12:00:00Z");
    send("breaks", "resume", "2024-03-05T12:30:00Z");
    send("breaks", "break", "2024-03-05T15:00:00Z");
    // Clocked out while on a break, with no break stop: the break lasts to the clock-out.
    send("breaks", "out", "2024-03-05T16:00:00Z");
    EXPECT_EQ(total("breaks", "2024-03-05T00:00:00Z", "2024-03-05T23:59:59Z"), 5 * hour + 30 * minute);
    EXPECT_EQ(total("breaks", "2024-03-05T12:15:00Z", "2024-03-05T13:00:00Z"), 30 * minute);
}

TEST_F(SummaryHttpTest, LateAndOutOfOrderEventsCountByTheirInstants) {
    send("late", "out", "2024-03-05T17:00:00Z");
    send("late", "resume", "2024-03-05T12:30:00Z");
    send("late", "in", "2024-03-05T09:00:00Z");
    send("late", "break", "2024-03-05T12:00:00Z");
    EXPECT_EQ(total("late", "2024-03-05T00:00:00Z", "2024-03-05T23:59:59Z"), 7 * hour + 30 * minute);
    // Yesterday's shift arrives a day late and leaves today alone.
    send("late", "in", "2024-03-04T10:00:00Z");
    send("late", "out", "2024-03-04T11:00:00Z");
    EXPECT_EQ(total("late", "2024-03-05T00:00:00Z", "2024-03-05T23:59:59Z"), 7 * hour + 30 * minute);
    EXPECT_EQ(total("late", "2024-03-04T00:00:00Z", "2024-03-05T23:59:59Z"), 8 * hour + 30 * minute);
}

TEST_F(SummaryHttpTest, OddSequencesFollowTheWrittenRules) {
    send("odd", "in", "2024-03-05T08:00:00Z");
    send("odd", "in", "2024-03-05T09:00:00Z");     // a repeat: the first clock-in stands
    send("odd", "resume", "2024-03-05T09:30:00Z"); // a stop without a start: ignored
    send("odd", "out", "2024-03-05T10:00:00Z");
    send("odd", "out", "2024-03-05T11:00:00Z");   // already out: ignored
    send("odd", "break", "2024-03-05T11:30:00Z"); // not working: ignored
    EXPECT_EQ(total("odd", "2024-03-05T00:00:00Z", "2024-03-05T23:59:59Z"), 2 * hour);
}

TEST_F(SummaryHttpTest, AQueuedClockOutDeliveredLateClosesTheInterval) {
    send("queued", "in", "2024-03-05T09:00:00Z");
    EXPECT_EQ(total("queued", "2024-03-05T00:00:00Z", "2024-03-05T12:00:00Z"), 3 * hour);
    send("queued", "out", "2024-03-05T10:00:00Z");
    EXPECT_EQ(total("queued", "2024-03-05T00:00:00Z", "2024-03-05T12:00:00Z"), hour);
}

} // namespace
