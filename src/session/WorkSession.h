#pragma once

#include "IdleThreshold.h"

#include <QDateTime>
#include <QList>
#include <QtGlobal>

#include <cstdint>
#include <functional>
#include <optional>

class BreakPrompt;
class EventReports;
class IdleTimeSource;
class MonotonicClock;
class SessionView;
class WallClock;

/// The work session: clock in and out, pause and resume, the automatic pause on inactivity and
/// the accounting of work time, breaks and input counts. Lives on the GUI thread.
///
/// Work and pause lengths are measured on the monotonic clock in nanoseconds and folded into
/// whole seconds, each fold truncating on its own; instants sent to the service come from the
/// wall clock. The two clocks are never mixed. The monotonic clock keeps running while the
/// machine sleeps, and a sleep while working is inactivity the idle source cannot see: when it
/// brings the time without input to the idle threshold, the automatic pause starts where the
/// idle check would have started it, had it run during the sleep.
class WorkSession {
public:
    struct Services {
        MonotonicClock& monotonic;
        WallClock& wall;
        IdleTimeSource& idle;
        EventReports& reports;
        BreakPrompt& breakPrompt;
    };

    explicit WorkSession(Services services);
    WorkSession(const WorkSession&) = delete;
    WorkSession& operator=(const WorkSession&) = delete;

    // Session state: 0 clocked out, 1 working, 2 paused.
    qint64 mode = 0;
    bool autoPaused = false;
    std::int64_t workStart = 0;  // monotonic ns; meaningful while mode is 1
    std::int64_t pauseStart = 0; // monotonic ns; meaningful while mode is 2
    qint64 accumulatedWork = 0;  // seconds of finished work segments
    QList<qint64> breaks;        // seconds of each recorded break
    qint64 totalBreakDur = 0;    // seconds, the sum of breaks
    qint64 idleThreshold = IdleThreshold::launchSeconds;
    qint64 keyCount = 0;
    qint64 clickCount = 0;
    std::optional<QDateTime> inputWindowStart; // set exactly while an input window is open
    qint64 unsentKeys = 0;
    qint64 unsentClicks = 0;

    /// The controls the display writes; none until the window exists.
    void setView(SessionView* view) { this->view = view; }

    /// Runs as the last step of every display refresh; the owner uses it to refresh the social
    /// panel when that is due.
    std::function<void()> afterUpdateUI;

    /// The clock button: clocks in when clocked out, else clocks out.
    void onClock();
    /// The pause button: pauses while working, resumes while paused, else only refreshes.
    void onPause();
    /// One tick of the 0.2 s loop: refresh, then the automatic pause and return.
    void onTick();
    /// Rewrites every status text and both session buttons from the state.
    void updateUI();
    /// Offers an idle stretch of \a seconds as a break and records it when accepted.
    void askToLogBreakWithDuration(qint64 seconds);

    /// The idle stepper moved to \a minutes.
    void onIdleStepper(qint64 minutes);
    /// The idle field's text was committed.
    void onIdleFieldChange();

    /// A key press or mouse click was observed; counted only while working.
    void countKey();
    void countClick();

    /// Work time in whole seconds: finished segments plus the running one.
    qint64 workTime() const;

private:
    void foldWorkSegment();
    void pauseAutomatically(std::int64_t at);
    /// The idle time the idle source reports, plus the sleeps it missed since the last input;
    /// pauses at once when a sleep just ended has brought it to the threshold.
    double idleAfterSleeps(double reportedSeconds, std::int64_t now);
    void reportInputWindow(const QDateTime& end);
    void writeStatus(SessionView& view) const;
    qint64 wholeSecondsSince(std::int64_t startNs) const;

    Services services;
    SessionView* view = nullptr;

    // What the previous tick saw, on the monotonic clock (ns).
    bool ticked = false;
    std::int64_t lastTickAt = 0;
    std::int64_t lastSuspended = 0;
    std::int64_t lastIdleNs = 0;
    /// The earliest the latest sleep can have ended; 0 before the first.
    std::int64_t wokeAt = 0;
    /// Sleep since the last input, which the idle source did not count.
    std::int64_t sleptSinceInput = 0;
};
