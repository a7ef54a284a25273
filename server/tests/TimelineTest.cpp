#include "Timeline.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace corlune::server;

namespace {

// Instants as "HH:MM" on 2024-03-05, or "+HH:MM" on the day after.
UnixSeconds t(const std::string& hhmm) {
    const bool nextDay = hhmm.front() == '+';
    const std::string time = nextDay ? hhmm.substr(1) : hhmm;
    return *parseTimestamp(std::string(nextDay ? "2024-03-06T" : "2024-03-05T") + time + ":00Z");
}

constexpr std::int64_t hour = 3600 * 1000;
constexpr std::int64_t minute = 60 * 1000;

struct Case {
    const char* name;
    std::vector<std::pair<EventKind, const char*>> events; ///< in arrival order
    const char* from;
    const char* to;
    std::int64_t expectedMs;
};

using K = EventKind;

class WorkedMilliseconds : public testing::TestWithParam<Case> {};

TEST_P(WorkedMilliseconds, FollowsTheRules) {
    const Case& c = GetParam();
    std::vector<TimelineEvent> events;
    std::int64_t sequence = 0;
    for (const auto& [kind, at] : c.events) {
        events.push_back({kind, t(at), ++sequence});
    }
    EXPECT_EQ(workedMilliseconds(events, t(c.from), t(c.to)), c.expectedMs);
}

INSTANTIATE_TEST_SUITE_P(
    Scenarios, WorkedMilliseconds,
    testing::Values(
        Case{"NoEvents", {}, "00:00", "23:59", 0},
        Case{"OneInterval", {{K::ClockIn, "09:00"}, {K::ClockOut, "17:00"}}, "00:00", "23:59", 8 * hour},
        Case{"ClippedAtBothEnds",
             {{K::ClockIn, "09:00"}, {K::ClockOut, "17:00"}},
             "10:00",
             "12:30",
             2 * hour + 30 * minute},
        Case{"RangeOutsideTheInterval", {{K::ClockIn, "09:00"}, {K::ClockOut, "17:00"}}, "18:00", "19:00", 0},
        Case{"CrossingMidnightCountsOnlyTheNewDay",
             {{K::ClockIn, "22:00"}, {K::ClockOut, "+02:00"}},
             "+00:00",
             "+12:00",
             2 * hour},
        Case{"CrossingMidnightCountsOnlyTheOldDay",
             {{K::ClockIn, "22:00"}, {K::ClockOut, "+02:00"}},
             "00:00",
             "+00:00",
             2 * hour},
        Case{"OpenIntervalCountsUpToTo", {{K::ClockIn, "09:00"}}, "00:00", "10:15", 1 * hour + 15 * minute},
        Case{"OpenIntervalStartedYesterday",
             {{K::ClockIn, "23:00"}},
             "+00:00",
             "+01:30",
             1 * hour + 30 * minute},
        Case{"BreakSubtracted",
             {{K::ClockIn, "09:00"},
              {K::BreakStart, "12:00"},
              {K::BreakStop, "12:30"},
              {K::ClockOut, "17:00"}},
             "00:00",
             "23:59",
             7 * hour + 30 * minute},
        Case{"BreakStraddlingFrom",
             {{K::ClockIn, "09:00"},
              {K::BreakStart, "11:30"},
              {K::BreakStop, "12:30"},
              {K::ClockOut, "14:00"}},
             "12:00",
             "23:59",
             1 * hour + 30 * minute},
        Case{"BreakStillOpenAtClockOutIsBreakUpToIt",
             {{K::ClockIn, "09:00"}, {K::BreakStart, "12:00"}, {K::ClockOut, "13:00"}},
             "00:00",
             "23:59",
             3 * hour},
        Case{"BreakStillOpenAtTheEndIsNotWork",
             {{K::ClockIn, "09:00"}, {K::BreakStart, "10:00"}},
             "00:00",
             "12:00",
             1 * hour},
        Case{"TwoClockInsInARowKeepTheFirst",
             {{K::ClockIn, "09:00"}, {K::ClockIn, "10:00"}, {K::ClockOut, "11:00"}},
             "00:00",
             "23:59",
             2 * hour},
        Case{"ClockInDuringABreakIsIgnored",
             {{K::ClockIn, "09:00"}, {K::BreakStart, "10:00"}, {K::ClockIn, "10:30"}, {K::ClockOut, "11:00"}},
             "00:00",
             "23:59",
             1 * hour},
        Case{"BreakStopWithoutStartIsIgnored",
             {{K::ClockIn, "09:00"}, {K::BreakStop, "10:00"}, {K::ClockOut, "11:00"}},
             "00:00",
             "23:59",
             2 * hour},
        Case{"SecondBreakStartKeepsTheFirst",
             {{K::ClockIn, "09:00"},
              {K::BreakStart, "10:00"},
              {K::BreakStart, "10:30"},
              {K::BreakStop, "11:00"},
              {K::ClockOut, "12:00"}},
             "00:00",
             "23:59",
             2 * hour},
        Case{"BreakOutsideWorkIsIgnored",
             {{K::BreakStart, "08:00"},
              {K::BreakStop, "08:30"},
              {K::ClockIn, "09:00"},
              {K::ClockOut, "10:00"}},
             "00:00",
             "23:59",
             1 * hour},
        Case{"ClockOutWithoutClockInIsIgnored",
             {{K::ClockOut, "08:00"}, {K::ClockIn, "09:00"}, {K::ClockOut, "10:00"}},
             "00:00",
             "23:59",
             1 * hour},
        Case{"LateEventsArriveAfterLaterOnes",
             {{K::ClockIn, "13:00"}, {K::ClockOut, "14:00"}, {K::ClockIn, "09:00"}, {K::ClockOut, "10:00"}},
             "00:00",
             "23:59",
             2 * hour},
        Case{"OutOfOrderWithinOneDay",
             {{K::ClockOut, "17:00"},
              {K::BreakStop, "12:30"},
              {K::ClockIn, "09:00"},
              {K::BreakStart, "12:00"}},
             "00:00",
             "23:59",
             7 * hour + 30 * minute},
        Case{"SameInstantKeepsArrivalOrder",
             {{K::ClockIn, "09:00"}, {K::ClockOut, "10:00"}, {K::ClockIn, "10:00"}, {K::ClockOut, "11:00"}},
             "00:00",
             "23:59",
             2 * hour},
        Case{"InputReportsDoNotCount",
             {{K::ClockIn, "09:00"}, {K::InputTrack, "09:30"}, {K::ClockOut, "10:00"}},
             "00:00",
             "23:59",
             1 * hour},
        Case{"EmptyRange", {{K::ClockIn, "09:00"}, {K::ClockOut, "10:00"}}, "09:30", "09:30", 0},
        Case{"EventsAfterToDoNotCount",
             {{K::ClockIn, "09:00"}, {K::ClockOut, "11:00"}},
             "00:00",
             "10:00",
             1 * hour}),
    [](const testing::TestParamInfo<Case>& param) { return std::string(param.param.name); });

} // namespace
