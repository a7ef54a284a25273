#include "FakeClocks.h"
#include "FakeIdleTimeSource.h"
#include "RecordingReports.h"
#include "RecordingSessionView.h"
#include "ScriptedBreakPrompt.h"
#include "WorkSession.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

class WorkSessionTest : public ::testing::Test {
protected:
    WorkSessionTest() { session.setView(&view); }

    // Advances both clocks by one 0.2 s tick and runs it with the given idle time.
    void tick(double idleSeconds) {
        time.advance(200ms);
        idle.seconds = idleSeconds;
        session.onTick();
    }

    QDateTime wallAfter(std::chrono::milliseconds d) const { return time.wall.instant.addMSecs(d.count()); }

    FakeTime time;
    FakeIdleTimeSource idle;
    RecordingReports reports;
    ScriptedBreakPrompt prompt;
    RecordingSessionView view;
    WorkSession session{{time.monotonic, time.wall, idle, reports, prompt}};
};

TEST_F(WorkSessionTest, ClockInOpensTheInputWindowAtTheReportedInstant) {
    const QDateTime clockIn = time.wall.instant;
    session.onClock();

    EXPECT_EQ(session.mode, 1);
    EXPECT_FALSE(session.autoPaused);
    ASSERT_EQ(reports.kinds(), QStringList{"clockIn"});
    EXPECT_EQ(reports.reports[0].at, clockIn);
    EXPECT_EQ(session.inputWindowStart, clockIn);
    EXPECT_EQ(view.status, "Status: Working");
    EXPECT_EQ(view.clockTitle, "Clock Out");
    EXPECT_TRUE(view.pauseEnabled);
    EXPECT_EQ(view.pauseTitle, "Pause");
}

TEST_F(WorkSessionTest, PauseReportsTheWindowAndTheBreakAtOneInstant) {
    session.onClock();
    const QDateTime clockIn = time.wall.instant;
    for (int i = 0; i < 5; ++i)
        session.countKey();
    session.countClick();
    session.countClick();
    time.advance(10600ms);
    const QDateTime pauseAt = time.wall.instant;
    session.onPause();

    EXPECT_EQ(session.accumulatedWork, 10); // 10.6 s folds to 10
    ASSERT_EQ(reports.kinds(), (QStringList{"clockIn", "inputs", "breakStart"}));
    const auto& inputs = reports.reports[1];
    EXPECT_EQ(inputs.at, clockIn);
    EXPECT_EQ(inputs.to, pauseAt);
    EXPECT_EQ(inputs.keystrokes, 5);
    EXPECT_EQ(inputs.clicks, 2);
    EXPECT_EQ(reports.reports[2].at, pauseAt);
    EXPECT_FALSE(session.inputWindowStart);
    EXPECT_EQ(session.unsentKeys, 0);
    EXPECT_EQ(session.unsentClicks, 0);
    EXPECT_EQ(view.inputs, "Inputs: Keys 5, Clicks 2");
    EXPECT_EQ(view.status, "Status: Paused");
    EXPECT_EQ(view.pauseTitle, "Resume");

    // The work time stands still for as long as the pause lasts.
    time.advance(1h);
    session.updateUI();
    EXPECT_EQ(view.work, "Work: 00:00:10");
}

TEST_F(WorkSessionTest, ResumeRecordsTheBreakAndOpensANewWindow) {
    session.onClock();
    time.advance(10600ms);
    session.onPause();
    time.advance(5900ms);
    const QDateTime resumeAt = time.wall.instant;
    session.onPause();

    EXPECT_EQ(session.mode, 1);
    EXPECT_EQ(session.breaks, QList<qint64>{5});
    EXPECT_EQ(session.totalBreakDur, 5);
    EXPECT_EQ(reports.kinds().last(), "breakStop");
    EXPECT_EQ(reports.reports.back().at, resumeAt);
    EXPECT_EQ(session.inputWindowStart, resumeAt);
    EXPECT_EQ(view.breaks, "Breaks: 1 (00:00:05)");
    EXPECT_EQ(view.work, "Work: 00:00:10"); // resumes from its value at the pause

    time.advance(3s);
    session.updateUI();
    EXPECT_EQ(view.work, "Work: 00:00:13");
}

TEST_F(WorkSessionTest, ClockOutWhileWorkingReportsInputsThenClockOut) {
    session.onClock();
    session.countKey();
    time.advance(2s);
    session.onClock();
    EXPECT_EQ(reports.kinds(), (QStringList{"clockIn", "inputs", "clockOut"}));
    EXPECT_EQ(session.mode, 0);
    EXPECT_EQ(session.accumulatedWork, 2);
    EXPECT_FALSE(session.inputWindowStart);
    EXPECT_EQ(view.status, "Status: Clocked out");
    EXPECT_EQ(view.clockTitle, "Clock In");
    EXPECT_FALSE(view.pauseEnabled);
}

TEST_F(WorkSessionTest, ClockOutWhilePausedSendsOnlyTheClockOut) {
    session.onClock();
    time.advance(4s);
    session.onPause();
    time.advance(30s);
    const size_t before = reports.reports.size();
    session.onClock();

    ASSERT_EQ(reports.reports.size(), before + 1);
    EXPECT_EQ(reports.kinds().last(), "clockOut");
    EXPECT_TRUE(session.breaks.isEmpty());
    EXPECT_EQ(session.totalBreakDur, 0);
    EXPECT_FALSE(view.pauseEnabled);
    EXPECT_EQ(view.pauseTitle, "Resume"); // the title is not written while clocked out

    session.onClock();
    EXPECT_EQ(view.pauseTitle, "Pause");
}

TEST_F(WorkSessionTest, TotalsContinueAcrossClockOutAndIn) {
    session.onClock();
    session.countKey();
    time.advance(3s);
    session.onPause();
    time.advance(2s);
    session.onPause();
    time.advance(1s);
    session.onClock();
    session.onClock();
    session.countClick();

    EXPECT_EQ(session.accumulatedWork, 4);
    EXPECT_EQ(session.breaks.size(), 1);
    EXPECT_EQ(session.keyCount, 1);
    EXPECT_EQ(session.clickCount, 1);
    EXPECT_EQ(session.unsentKeys, 0);
    EXPECT_EQ(session.unsentClicks, 1);
}

TEST_F(WorkSessionTest, PauseButtonWhileClockedOutChangesNothing) {
    session.onPause();
    EXPECT_EQ(session.mode, 0);
    EXPECT_TRUE(reports.reports.empty());
    EXPECT_EQ(view.status, "Status: Clocked out");
}

TEST_F(WorkSessionTest, SegmentsShorterThanASecondAddNothingAndFoldOnTheirOwn) {
    session.onClock();
    time.advance(900ms);
    session.onPause();
    session.onPause();
    time.advance(900ms);
    session.onPause();
    EXPECT_EQ(session.accumulatedWork, 0);
}

TEST_F(WorkSessionTest, CountsOnlyWhileWorking) {
    session.countKey();
    session.countClick();
    session.onClock();
    session.onPause();
    session.countKey();
    session.countClick();
    EXPECT_EQ(session.keyCount, 0);
    EXPECT_EQ(session.clickCount, 0);
}

TEST_F(WorkSessionTest, LaunchDisplayMatchesTheBuiltWindow) {
    session.onTick();
    EXPECT_EQ(view.work, "Work: 00:00:00");
    EXPECT_EQ(view.breaks, "Breaks: 0 (00:00:00)");
    EXPECT_EQ(view.inputs, "Inputs: Keys 0, Clicks 0");
    EXPECT_EQ(view.status, "Status: Clocked out");
    EXPECT_EQ(view.clockTitle, "Clock In");
    EXPECT_FALSE(view.pauseEnabled);
    EXPECT_EQ(view.pauseTitle, "Pause");
}

TEST_F(WorkSessionTest, AutomaticPauseStartsAtTheDetectingTickAndReportsNothing) {
    session.onClock();
    session.countKey();
    tick(179.9);
    EXPECT_EQ(session.mode, 1);
    tick(180.0); // equality counts
    EXPECT_EQ(session.mode, 2);
    EXPECT_TRUE(session.autoPaused);
    EXPECT_EQ(reports.kinds(), QStringList{"clockIn"});
    EXPECT_TRUE(session.inputWindowStart); // the window stays open
    EXPECT_EQ(session.unsentKeys, 1);
    EXPECT_EQ(view.status, "Status: Auto-paused");
    EXPECT_EQ(view.pauseTitle, "Resume");
}

TEST_F(WorkSessionTest, AwayFromTenToHalfPastOffersTwentySevenMinutes) {
    session.onClock();
    // The user stops at 10:00:00 and comes back at 10:30:00.
    double idleSeconds = 0;
    for (int i = 0; i < 30 * 60 * 5; ++i) {
        idleSeconds += 0.2;
        tick(idleSeconds);
    }
    EXPECT_EQ(session.mode, 2);
    EXPECT_EQ(session.accumulatedWork, 180);

    prompt.answer = false;
    tick(0.3);
    ASSERT_EQ(prompt.asked.size(), 1);
    EXPECT_EQ(prompt.asked[0], "00:27:00");
    EXPECT_EQ(session.mode, 1);
    EXPECT_FALSE(session.autoPaused);
    EXPECT_EQ(reports.kinds(), QStringList{"clockIn"}); // "Don't Log" sends nothing
    EXPECT_TRUE(session.breaks.isEmpty());
}

TEST_F(WorkSessionTest, ADayLongAbsenceIsOfferedWithUnwrappedHours) {
    session.onClock();
    tick(180.0);
    time.advance(25h + 3min);
    tick(1.0);
    ASSERT_EQ(prompt.asked.size(), 1);
    EXPECT_EQ(prompt.asked[0], "25:03:00");
}

TEST_F(WorkSessionTest, ReturnNeedsInputWithinTwoSeconds) {
    session.onClock();
    tick(200.0);
    tick(2.1);
    EXPECT_EQ(session.mode, 2);
    tick(2.0);
    EXPECT_EQ(session.mode, 1);
}

TEST_F(WorkSessionTest, APauseByTheUserNeverEndsByItself) {
    session.onClock();
    session.onPause();
    tick(0.0);
    tick(500.0);
    tick(0.0);
    EXPECT_EQ(session.mode, 2);
    EXPECT_TRUE(prompt.asked.isEmpty());
}

TEST_F(WorkSessionTest, LoweringTheThresholdPausesAtTheNextTick) {
    session.onClock();
    tick(100.0);
    EXPECT_EQ(session.mode, 1);
    view.idleField = "1";
    session.onIdleFieldChange();
    tick(100.2);
    EXPECT_EQ(session.mode, 2);
}

TEST_F(WorkSessionTest, LoggedBreakEndsAtTheAnswerInWholeSeconds) {
    session.onClock();
    tick(180.0);
    time.advance(10min);
    time.advance(700ms);
    prompt.answer = true;
    prompt.whileOpen = [this] { time.advance(2min); };
    tick(0.5);

    ASSERT_EQ(reports.kinds(), (QStringList{"clockIn", "breakStart", "breakStop"}));
    const qint64 d = 600; // 10 min 0.9 s of pause, truncated
    ASSERT_EQ(session.breaks, QList<qint64>{d});
    EXPECT_EQ(session.totalBreakDur, d);
    const QDateTime end = *reports.reports[2].at;
    EXPECT_EQ(end.time().msec(), 0);
    EXPECT_EQ(end.toSecsSinceEpoch(), time.wall.instant.toSecsSinceEpoch());
    EXPECT_EQ(reports.reports[1].at->secsTo(end), d);
    // The two minutes the prompt stayed open count as work.
    EXPECT_EQ(view.work, "Work: 00:02:00");
    EXPECT_EQ(view.breaks, "Breaks: 1 (00:10:00)");
}

TEST_F(WorkSessionTest, AZeroSecondBreakIsStillAnEntry) {
    session.onClock();
    tick(180.0);
    tick(0.0);
    ASSERT_EQ(prompt.asked, QStringList{"00:00:00"});
    EXPECT_EQ(session.breaks, QList<qint64>{0});
    EXPECT_EQ(session.totalBreakDur, 0);
    EXPECT_EQ(reports.reports[1].at, reports.reports[2].at);
}

TEST_F(WorkSessionTest, ResumingAnAutomaticPauseCarriesTheEarlierCounts) {
    session.onClock();
    session.countKey();
    session.countKey();
    session.countClick();
    tick(180.0);
    time.advance(1min);
    session.onPause(); // resume by the button: a break stop without a break start
    EXPECT_EQ(reports.kinds(), (QStringList{"clockIn", "breakStop"}));
    EXPECT_EQ(session.mode, 1);
    EXPECT_TRUE(session.autoPaused);
    EXPECT_EQ(view.status, "Status: Auto-paused");
    EXPECT_EQ(view.pauseTitle, "Pause");
    const QDateTime reopened = *session.inputWindowStart;

    time.advance(5s);
    session.onPause();
    const auto& inputs = reports.reports[2];
    EXPECT_EQ(inputs.kind, "inputs");
    EXPECT_EQ(inputs.at, reopened);
    EXPECT_EQ(inputs.keystrokes, 2);
    EXPECT_EQ(inputs.clicks, 1);
}

TEST_F(WorkSessionTest, IdleFieldIsClampedAndRewritten) {
    const struct {
        const char* text;
        const char* shown;
        qint64 threshold;
    } cases[] = {
        {"0", "1", 60},       {"-5", "1", 60},   {"letters", "1", 60}, {"", "1", 60},
        {"500", "120", 7200}, {"2.9", "2", 120}, {"12abc", "12", 720}, {" 45", "45", 2700},
    };
    for (const auto& c : cases) {
        view.idleField = QString::fromLatin1(c.text);
        session.onIdleFieldChange();
        EXPECT_EQ(view.idleField, QString::fromLatin1(c.shown)) << c.text;
        EXPECT_EQ(view.idleStepper, QString::fromLatin1(c.shown).toInt()) << c.text;
        EXPECT_EQ(session.idleThreshold, c.threshold) << c.text;
    }
}

TEST_F(WorkSessionTest, StepperWritesTheFieldButNotItself) {
    view.idleStepper = 3;
    session.onIdleStepper(4);
    EXPECT_EQ(view.idleField, "4");
    EXPECT_EQ(session.idleThreshold, 240);
    EXPECT_EQ(view.idleStepper, 3);
    session.onIdleStepper(0);
    EXPECT_EQ(view.idleField, "1");
    EXPECT_EQ(session.idleThreshold, 60);
}

} // namespace
