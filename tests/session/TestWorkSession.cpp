#include "FakeClocks.h"
#include "FakeIdleTimeSource.h"
#include "RecordingReports.h"
#include "RecordingSessionView.h"
#include "ScriptedBreakPrompt.h"
#include "SessionTexts.h"
#include "WorkSession.h"

#include <gtest/gtest.h>

namespace {

// A session on fake clocks, driven by a script of steps: "clock", "pause", "key", "click", "+S"
// (S seconds pass), "idle=S" (a tick that finds S seconds without input), "log=S" (the next break
// prompt stays open S seconds and is answered "Log Break"; otherwise "Don't Log" at once).
struct Desk {
    Desk() {
        session.setView(&view);
        prompt.answer = false;
        prompt.whileOpen = [this] {
            reports.log.append("ask " + prompt.asked.last());
            pass(openFor);
        };
    }

    void pass(double seconds) { time.advance(std::chrono::milliseconds(qRound64(seconds * 1000))); }

    void run(const char* script) {
        for (const QString& step : QString::fromLatin1(script).split(u' ', Qt::SkipEmptyParts)) {
            const double value = step.section(u'=', 1).toDouble();
            if (step == "clock")
                session.onClock();
            else if (step == "pause")
                session.onPause();
            else if (step == "key")
                session.countKey();
            else if (step == "click")
                session.countClick();
            else if (step.startsWith(u'+'))
                pass(step.mid(1).toDouble());
            else if (step.startsWith("idle=")) {
                idle.seconds = value;
                session.onTick();
            } else if (step.startsWith("log=")) {
                prompt.answer = true;
                openFor = value;
            } else
                ADD_FAILURE() << "unknown step " << step.toStdString();
        }
    }

    // "mode 2 auto work 10 breaks 5+0=5 keys 1/0": the state the reports do not show.
    QString state() const {
        QStringList breaks;
        for (qint64 b : session.breaks)
            breaks.append(QString::number(b));
        return QStringLiteral("mode %1%2 work %3 breaks %4=%5 keys %6/%7")
            .arg(session.mode)
            .arg(session.autoPaused ? " auto" : "")
            .arg(session.accumulatedWork)
            .arg(breaks.join(u'+'))
            .arg(session.totalBreakDur)
            .arg(session.keyCount)
            .arg(session.clickCount);
    }

    FakeTime time;
    FakeIdleTimeSource idle;
    RecordingReports reports;
    ScriptedBreakPrompt prompt;
    RecordingSessionView view;
    WorkSession session{{time.monotonic, time.wall, idle, reports, prompt}};
    double openFor = 0;
};

TEST(WorkSession, Transitions) {
    const struct {
        const char* name;
        const char* steps;
        const char* reports; // and the break prompts asked, in order
        const char* state;
    } cases[] = {
        {"clocking out while working reports the input window first", "clock key key click +10.6 clock",
         "clockIn@0 inputs@0-10.6:2/1 clockOut@10.6", "mode 0 work 10 breaks =0 keys 2/1"},
        {"a pause closes the input window at the instant of the break start", "clock key +10.6 pause",
         "clockIn@0 inputs@0-10.6:1/0 breakStart@10.6", "mode 2 work 10 breaks =0 keys 1/0"},
        {"a resume records the break and opens a new window", "clock key +10.6 pause +5.9 pause key +2 pause",
         "clockIn@0 inputs@0-10.6:1/0 breakStart@10.6 breakStop@16.5 inputs@16.5-18.5:1/0 breakStart@18.5",
         "mode 2 work 12 breaks 5=5 keys 2/0"},
        {"clocking out while paused sends the clock-out alone", "clock +4 pause +30 clock",
         "clockIn@0 inputs@0-4:0/0 breakStart@4 clockOut@34", "mode 0 work 4 breaks =0 keys 0/0"},
        {"the pause button while clocked out does nothing", "pause", "", "mode 0 work 0 breaks =0 keys 0/0"},
        {"totals go on across clocking out and in; the unsent counts start afresh",
         "clock +3 pause +2 pause key idle=180 clock clock click +1 pause",
         "clockIn@0 inputs@0-3:0/0 breakStart@3 breakStop@5 clockOut@5 clockIn@5 inputs@5-6:0/1 breakStart@6",
         "mode 2 work 4 breaks 2=2 keys 1/1"},
        {"nothing is counted while clocked out or paused",
         "key click clock pause key click +1 pause +1 clock",
         "clockIn@0 inputs@0-0:0/0 breakStart@0 breakStop@1 inputs@1-2:0/0 clockOut@2",
         "mode 0 work 1 breaks 1=1 keys 0/0"},
        {"each segment drops its own fraction", "clock +0.9 pause pause +0.9 pause",
         "clockIn@0 inputs@0-0.9:0/0 breakStart@0.9 breakStop@0.9 inputs@0.9-1.8:0/0 breakStart@1.8",
         "mode 2 work 0 breaks 0=0 keys 0/0"},
        {"just under the threshold keeps working", "clock +179.9 idle=179.9", "clockIn@0",
         "mode 1 work 0 breaks =0 keys 0/0"},
        {"the threshold itself pauses, silently, and counts nothing", "clock key +180 idle=180 key",
         "clockIn@0", "mode 2 auto work 180 breaks =0 keys 1/0"},
        {"an automatic pause ends only with input within two seconds", "clock +180 idle=180 +60 idle=2.1",
         "clockIn@0", "mode 2 auto work 180 breaks =0 keys 0/0"},
        {"away from 10:00 to 10:30, not logged", "clock +180 idle=180 +1620 idle=2", "clockIn@0 ask 00:27:00",
         "mode 1 work 180 breaks =0 keys 0/0"},
        {"a logged break ends at the answer, in whole seconds", "clock +180 idle=180 +600.9 log=120 idle=0.5",
         "clockIn@0 ask 00:10:00 breakStart@300 breakStop@900", "mode 1 work 180 breaks 600=600 keys 0/0"},
        {"a return within the first second offers an empty break", "clock +180 idle=180 +0.4 log=0 idle=0",
         "clockIn@0 ask 00:00:00 breakStart@180 breakStop@180", "mode 1 work 180 breaks 0=0 keys 0/0"},
        {"a pause by the user never ends by itself", "clock pause idle=0",
         "clockIn@0 inputs@0-0:0/0 breakStart@0", "mode 2 work 0 breaks =0 keys 0/0"},
        {"the pause button ends an automatic pause with a break stop alone",
         "clock key +180 idle=180 +60 pause", "clockIn@0 breakStop@240",
         "mode 1 auto work 180 breaks 60=60 keys 1/0"},
        {"counts made before an automatic pause go with the window the resume opens",
         "clock key click +180 idle=180 +60 pause key +5 pause",
         "clockIn@0 breakStop@240 inputs@240-245:2/1 breakStart@245",
         "mode 2 work 185 breaks 60=60 keys 2/1"},
    };
    for (const auto& c : cases) {
        Desk desk;
        desk.run(c.steps);
        EXPECT_EQ(desk.reports.log.join(u' ').toStdString(), c.reports) << c.name;
        EXPECT_EQ(desk.state().toStdString(), c.state) << c.name;
        // Every transition ends with the display showing it.
        EXPECT_EQ(desk.view.work, SessionTexts::workText(desk.session.workTime())) << c.name;
        EXPECT_EQ(desk.view.status,
                  SessionTexts::statusRow(desk.session.mode, desk.session.autoPaused).status)
            << c.name;
    }
}

TEST(WorkSession, IdleFieldAndStepperSetTheThresholdInWholeMinutes) {
    const struct {
        const char* typed; // null: the stepper moves to `stepped`
        int stepped;
        const char* field;
        int stepper;
        qint64 threshold;
    } cases[] = {
        {"0", 0, "1", 1, 60},         {"-5", 0, "1", 1, 60},
        {"letters", 0, "1", 1, 60},   {"", 0, "1", 1, 60},
        {"500", 0, "120", 120, 7200}, {"2.9", 0, "2", 2, 120},
        {"12abc", 0, "12", 12, 720},  {" +45", 0, "45", 45, 2700},
        {nullptr, 4, "4", 3, 240},    {"18446744073709551617", 0, "120", 120, 7200},
        {nullptr, 0, "1", 3, 60},
    };
    for (const auto& c : cases) {
        Desk desk;
        desk.view.idleStepper = 3;
        if (c.typed) {
            desk.view.idleField = QString::fromLatin1(c.typed);
            desk.session.onIdleFieldChange();
        } else {
            desk.session.onIdleStepper(c.stepped);
        }
        const char* label = c.typed ? c.typed : "the stepper";
        EXPECT_EQ(desk.view.idleField.toStdString(), c.field) << label;
        EXPECT_EQ(desk.view.idleStepper, c.stepper) << label;
        EXPECT_EQ(desk.session.idleThreshold, c.threshold) << label;
    }
}

TEST(SessionTexts, DurationText) {
    const struct {
        qint64 seconds;
        const char* text;
    } cases[] = {
        {0, "00:00:00"},     {59, "00:00:59"},
        {3725, "01:02:05"},  {86399, "23:59:59"},
        {90000, "25:00:00"}, {360000, "100:00:00"},
        {-5, "00:00:00"},    {3600LL * 1234567890 + 61, "1234567890:01:0"}, // cut at 15 characters
    };
    for (const auto& c : cases)
        EXPECT_EQ(SessionTexts::durationText(c.seconds).toStdString(), c.text) << c.seconds;
}

} // namespace
