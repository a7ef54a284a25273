// A sleep while working is time away: the session pauses where the idle check would have paused
// it during the sleep, and the return offers the whole time away.
#include "FakeClocks.h"
#include "FakeIdleTimeSource.h"
#include "RecordingReports.h"
#include "ScriptedBreakPrompt.h"
#include "WorkSession.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

enum class Before { Working, PausedByUser, ClockedOut };

struct SleepCase {
    const char* name;
    Before state;
    int idleBeforeSleep; // seconds without input before the lid closes
    int thresholdMinutes;
    std::chrono::seconds slept;
    bool keyAtWake;      // a key pressed to wake it, before the first tick
    int awakeAfterSleep; // seconds without input after the sleep
    bool autoPaused;
    qint64 work;
    const char* offered; // the break offered at the next input; empty when none
};

const SleepCase cases[] = {
    {"LongSleepPausesAtTheThreshold", Before::Working, 60, 3, 2h, false, 0, true, 180, "01:58:00"},
    {"SleepReachingTheThresholdPausesInsideIt", Before::Working, 100, 3, 100s, false, 0, true, 180,
     "00:00:20"},
    {"WakeUpKeyStillCountsTheSleepAsAway", Before::Working, 60, 3, 2h, true, 0, true, 180, "01:58:00"},
    {"ThresholdPassedBeforeTheSleepPausesAtIt", Before::Working, 100, 1, 2h, false, 0, true, 100, "02:00:00"},
    {"ShortSleepCountsAsWork", Before::Working, 60, 3, 100s, false, 0, false, 160, ""},
    {"ShortSleepCountsTowardTheThreshold", Before::Working, 60, 3, 100s, false, 20, true, 180, "00:00:00"},
    {"SleepWhilePausedChangesNothing", Before::PausedByUser, 60, 3, 2h, false, 0, false, 60, ""},
    {"SleepWhileClockedOutChangesNothing", Before::ClockedOut, 60, 3, 2h, false, 0, false, 0, ""},
};

class Sleep : public ::testing::TestWithParam<SleepCase> {};

TEST_P(Sleep, IsTimeAway) {
    const SleepCase& c = GetParam();
    FakeTime time;
    FakeIdleTimeSource idle;
    RecordingReports reports;
    ScriptedBreakPrompt prompt;
    WorkSession session{{time.monotonic, time.wall, idle, reports, prompt}};
    const auto tick = [&](std::chrono::milliseconds awake, double idleSeconds) {
        time.advance(awake);
        idle.seconds = idleSeconds;
        session.onTick();
    };

    if (c.state != Before::ClockedOut)
        session.onClock();
    session.onTick();
    tick(std::chrono::seconds(c.idleBeforeSleep), c.idleBeforeSleep);
    session.onIdleStepper(c.thresholdMinutes);
    if (c.state == Before::PausedByUser)
        session.onPause();
    time.sleep(c.slept);
    const double idleAfter = c.idleBeforeSleep + 0.2;
    tick(200ms, c.keyAtWake ? 0.1 : idleAfter);
    if (c.awakeAfterSleep > 0)
        tick(std::chrono::seconds(c.awakeAfterSleep), idleAfter + c.awakeAfterSleep);

    EXPECT_EQ(session.autoPaused, c.autoPaused);
    EXPECT_EQ(session.workTime(), c.work);
    tick(200ms, 0);
    EXPECT_EQ(prompt.asked, *c.offered ? QStringList{c.offered} : QStringList{});
}

INSTANTIATE_TEST_SUITE_P(WorkSession, Sleep, ::testing::ValuesIn(cases),
                         [](const auto& p) { return std::string(p.param.name); });

} // namespace
