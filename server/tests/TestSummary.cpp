#include "ServiceCore.h"
#include "Timesheet.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <sstream>

using namespace corlune::server;
using namespace corlune::server::test;

namespace {

/// "HH:MM" on 2024-03-05, "+HH:MM" on the day after, "-HH:MM" on the day before.
std::string at(const std::string& hhmm) {
    const int day = hhmm[0] == '-' ? 4 : hhmm[0] == '+' ? 6 : 5;
    return "2024-03-0" + std::to_string(day) + "T" + hhmm.substr(day == 5 ? 0 : 1) + ":00Z";
}

struct Case {
    const char* name;
    const char*
        events; ///< in arrival order: "in 09:00 break 12:00 resume 12:30 out 17:00"; "in/0" on job "0"
    const char* from;
    const char* to;
    int minutes;
    /// The timesheet of March 5 and 6 at noon on the 6th: "5:60 6:30" (minutes on j1 on the 5th
    /// and 6th; "5:1+2s" a minute and two seconds), "0/5:60" on job "0".
    const char* days;
    const char* zone = "UTC0"; ///< TZ, which decides where days start
};

/// The timesheet's rows, as Case::days writes them.
std::string days(const std::vector<TimesheetRow>& rows) {
    std::string text;
    for (const TimesheetRow& row : rows) {
        text += (text.empty() ? "" : " ") + (row.jobId == "j1" ? "" : row.jobId + "/") +
                std::to_string(static_cast<unsigned>(row.day.day())) + ":" +
                std::to_string(row.workSeconds / 60) +
                (row.workSeconds % 60 == 0 ? "" : "+" + std::to_string(row.workSeconds % 60) + "s");
    }
    return text;
}

const std::vector<Case> cases = {
    {"NoEvents", "", "00:00", "23:59", 0, ""},
    {"ClippedAtBothEnds", "in 09:00 out 17:00", "10:00", "12:30", 150, "5:480"},
    {"RangeOutsideTheWork", "in 09:00 out 17:00", "18:00", "19:00", 0, "5:480"},
    {"EmptyRange", "in 09:00 out 10:00", "09:30", "09:30", 0, "5:60"},
    {"CrossingMidnightCountsOnlyTheRange", "in 22:00 out +02:00", "+00:00", "+12:00", 120, "5:120 6:120"},
    {"OpenWorkCountsUpToTo", "in 09:00", "00:00", "10:15", 75, "5:900 6:720"},
    {"OpenWorkStartedTheDayBefore", "in 23:00", "+00:00", "+01:30", 90, "5:60 6:720"},
    {"OpenWorkStartedBeforeTheTimesheet", "in -23:00", "00:00", "01:00", 60, "5:1440 6:720"},
    {"ShiftsBeforeTheLastClockOutStayOut", "in 08:00 out 20:00 in 23:00", "+00:00", "+01:00", 60,
     "5:780 6:720"},
    {"BreakSubtracted", "in 09:00 break 12:00 resume 12:30 out 17:00", "00:00", "23:59", 450, "5:450"},
    {"BreakStraddlingFrom", "in 09:00 break 11:30 resume 12:30 out 14:00", "12:00", "23:59", 90, "5:240"},
    {"BreakOpenAtClockOutLastsUpToIt", "in 09:00 break 12:00 out 13:00 resume 13:30", "00:00", "23:59", 180,
     "5:180"},
    {"BreakOpenAtTheEndIsNotWork", "in 09:00 break 10:00", "00:00", "12:00", 60, "5:60"},
    {"SecondClockInKeepsTheFirst", "in 09:00 in 10:00 out 11:00", "00:00", "23:59", 120, "5:120"},
    {"ClockInDuringABreakIsIgnored", "in 09:00 break 10:00 in 10:30 out 11:00", "00:00", "23:59", 60, "5:60"},
    {"SecondBreakStartKeepsTheFirst", "in 09:00 break 10:00 break 10:30 resume 11:00 out 12:00", "00:00",
     "23:59", 120, "5:120"},
    {"BreaksOutsideWorkAreIgnored", "resume 08:00 break 08:10 in 09:00 out 10:00", "00:00", "23:59", 60,
     "5:60"},
    {"ClockOutWhileOutIsIgnored", "out 08:00 in 09:00 out 10:00", "00:00", "23:59", 60, "5:60"},
    {"OutOfOrderArrivalsCountByTheirInstants", "out 17:00 resume 12:30 in 09:00 break 12:00", "00:00",
     "23:59", 450, "5:450"},
    {"SameInstantKeepsArrivalOrder", "in 09:00 out 10:00 in 10:00 out 11:00", "00:00", "23:59", 120, "5:120"},
    {"InputReportsDoNotCount", "in 09:00 input 09:30 out 10:00", "00:00", "23:59", 60, "5:60"},
    {"OtherJobsDoNotCount", "in/0 09:00 out 10:00", "00:00", "23:59", 0, "0/5:900 0/6:720"},
    {"DaysStartAtLocalMidnight", "in 22:00 out +02:00", "00:00", "+12:00", 240, "5:60 6:180", "CET-1"}};

// Events go in through the handlers and the total comes out of them, so the events storage
// selects for the range are checked with the arithmetic; the timesheet replays the same
// events day by day.
TEST(Summary, CountsTheWorkInTheRangeAndEachDay) {
    static const std::map<std::string, EventKind> kinds = {{"in", EventKind::ClockIn},
                                                           {"out", EventKind::ClockOut},
                                                           {"break", EventKind::BreakStart},
                                                           {"resume", EventKind::BreakStop},
                                                           {"input", EventKind::InputTrack}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ServiceCore service(TokenRule{.allowAnonymous = true});
        std::istringstream events(c.events);
        std::string what, when;
        while (events >> what >> when) {
            const auto slash = what.find('/');
            const std::string job = slash == std::string::npos ? "j1" : what.substr(slash + 1);
            EXPECT_EQ(service.report(kinds.at(what.substr(0, slash)), "e1", job, at(when)).status, 201)
                << what;
        }
        const ApiResponse answer =
            service.summary("employeeId=e1&jobId=j1&from=" + at(c.from) + "&to=" + at(c.to));
        EXPECT_EQ(answer.body, nlohmann::json({{"totalWorkMs", std::int64_t{c.minutes} * 60 * 1000}}));
        setenv("TZ", c.zone, 1);
        tzset();
        using namespace std::chrono;
        const auto sheet = timesheet(*service.storage, {2024y / March / 5, 2024y / March / 6, {}},
                                     parseTimestamp("2024-03-06T12:00:00Z").value());
        ASSERT_TRUE(sheet);
        EXPECT_EQ(days(*sheet), c.days);
    }
}

} // namespace
