#include "WorkSession.h"

#include "BreakPrompt.h"
#include "EventReports.h"
#include "IdleThreshold.h"
#include "IdleTimeSource.h"
#include "MonotonicClock.h"
#include "SessionTexts.h"
#include "SessionView.h"
#include "WallClock.h"

#include <algorithm>
#include <cmath>

namespace {
// An automatic pause ends at the first tick that sees input this recent.
constexpr double resumeBoundSeconds = 2.0;
constexpr std::int64_t nsPerSecond = 1'000'000'000;
// Reading two clocks one after the other leaves a little noise in the time spent suspended.
constexpr std::int64_t sleepNoiseNs = 1'000'000;
} // namespace

WorkSession::WorkSession(Services services)
    : services(services) {}

qint64 WorkSession::wholeSecondsSince(std::int64_t startNs) const {
    // Integer division truncates toward zero, so each fold drops its own fraction.
    return std::max<std::int64_t>(0, (services.monotonic.nowNs() - startNs) / nsPerSecond);
}

qint64 WorkSession::workTime() const {
    return accumulatedWork + (mode == 1 ? wholeSecondsSince(workStart) : 0);
}

void WorkSession::foldWorkSegment() {
    accumulatedWork += wholeSecondsSince(workStart);
}

void WorkSession::reportInputWindow(const QDateTime& end) {
    services.reports.apiTrackInputsFrom(inputWindowStart, end, unsentKeys, unsentClicks);
    unsentKeys = 0;
    unsentClicks = 0;
    inputWindowStart.reset();
}

void WorkSession::onClock() {
    if (mode == 0) {
        mode = 1;
        workStart = services.monotonic.nowNs();
        autoPaused = false;
        const QDateTime clockIn = services.wall.now();
        inputWindowStart = clockIn;
        unsentKeys = 0;
        unsentClicks = 0;
        services.reports.apiClockInAt(clockIn);
        updateUI();
        return;
    }
    if (mode == 1) {
        reportInputWindow(services.wall.now());
        foldWorkSegment();
    }
    // Clocking out while paused does not end the pause: the window was reported when it began.
    mode = 0;
    services.reports.apiClockOutAt(services.wall.now());
    updateUI();
}

void WorkSession::onPause() {
    if (mode == 1) {
        foldWorkSegment();
        mode = 2;
        autoPaused = false;
        pauseStart = services.monotonic.nowNs();
        const QDateTime at = services.wall.now();
        reportInputWindow(at);
        services.reports.apiBreakStartAt(at);
    } else if (mode == 2) {
        const qint64 pause = wholeSecondsSince(pauseStart);
        totalBreakDur += pause;
        breaks.append(pause);
        mode = 1;
        workStart = services.monotonic.nowNs();
        services.reports.apiBreakStopAt(services.wall.now());
        // A separate reading: the break-stop report may have waited on the network.
        inputWindowStart = services.wall.now();
    }
    updateUI();
}

void WorkSession::onTick() {
    updateUI();
    const double reported = services.idle.secondsSinceLastInput();
    const std::int64_t now = services.monotonic.nowNs();
    const qint64 modeBefore = mode;
    const double idle = idleAfterSleeps(reported, now);
    if (mode != modeBefore)
        return;
    if (mode == 1) {
        if (idle >= static_cast<double>(idleThreshold))
            pauseAutomatically(now);
    } else if (mode == 2 && autoPaused && idle <= resumeBoundSeconds) {
        const qint64 away = wholeSecondsSince(pauseStart);
        mode = 1;
        autoPaused = false;
        workStart = services.monotonic.nowNs();
        updateUI();
        askToLogBreakWithDuration(away);
    }
}

double WorkSession::idleAfterSleeps(double reportedSeconds, std::int64_t now) {
    const std::int64_t suspended = services.monotonic.suspendedNs();
    const std::int64_t slept = ticked ? suspended - lastSuspended : 0;
    const std::int64_t reportedNs = std::llround(reportedSeconds * static_cast<double>(nsPerSecond));
    const bool sleptNow = slept > sleepNoiseNs;
    // The sleep began after the previous tick, which ran five times a second until it.
    if (sleptNow)
        wokeAt = lastTickAt + slept;
    // The idle source's clock stops in suspend: input it places before the latest wake-up came
    // before that sleep, and the sleep is inactivity on top of what it reports.
    const bool inputSinceWake = reportedNs < now - wokeAt;
    if (sleptNow && mode == 1) {
        const std::int64_t lastInput = lastTickAt - lastIdleNs;
        const std::int64_t inactiveUntil = inputSinceWake ? now - reportedNs : now;
        const std::int64_t threshold = idleThreshold * nsPerSecond;
        if (inactiveUntil - lastInput >= threshold)
            pauseAutomatically(std::max({lastTickAt, lastInput + threshold, workStart}));
    }
    sleptSinceInput = inputSinceWake ? 0 : sleptSinceInput + (sleptNow ? slept : 0);
    ticked = true;
    lastTickAt = now;
    lastSuspended = suspended;
    lastIdleNs = reportedNs + sleptSinceInput;
    return reportedSeconds + static_cast<double>(sleptSinceInput) / static_cast<double>(nsPerSecond);
}

void WorkSession::pauseAutomatically(std::int64_t at) {
    // The automatic pause reports nothing and leaves the input window open.
    accumulatedWork += std::max<std::int64_t>(0, (at - workStart) / nsPerSecond);
    mode = 2;
    autoPaused = true;
    pauseStart = at;
    updateUI();
}

void WorkSession::askToLogBreakWithDuration(qint64 seconds) {
    if (services.breakPrompt.askToLogBreak(SessionTexts::durationText(seconds))) {
        // The break is placed to end when the user answers, in whole seconds.
        const QDateTime end = QDateTime::fromSecsSinceEpoch(services.wall.now().toSecsSinceEpoch(), Qt::UTC);
        services.reports.apiBreakStartAt(end.addSecs(-seconds));
        services.reports.apiBreakStopAt(end);
        totalBreakDur += seconds;
        breaks.append(seconds);
    }
    updateUI();
}

void WorkSession::updateUI() {
    if (view) {
        writeStatus(*view);
    }
    if (afterUpdateUI)
        afterUpdateUI();
}

void WorkSession::writeStatus(SessionView& view) const {
    view.setWorkText(SessionTexts::workText(workTime()));
    view.setBreaksText(SessionTexts::breaksText(breaks.size(), totalBreakDur));
    view.setInputsText(SessionTexts::inputsText(keyCount, clickCount));
    const SessionTexts::StatusRow row = SessionTexts::statusRow(mode, autoPaused);
    view.setStatusText(row.status);
    view.setClockTitle(row.clockTitle);
    view.setPauseEnabled(row.pauseEnabled);
    if (row.pauseTitle)
        view.setPauseTitle(*row.pauseTitle);
}

void WorkSession::onIdleStepper(qint64 minutes) {
    // The stepper itself stops at 120; only the lower bound is enforced here.
    minutes = std::max(minutes, IdleThreshold::minMinutes);
    if (view)
        view->setIdleFieldText(QString::number(minutes));
    idleThreshold = minutes * 60;
}

void WorkSession::onIdleFieldChange() {
    if (!view)
        return;
    const qint64 minutes = IdleThreshold::minutesFromFieldText(view->idleFieldText());
    view->setIdleFieldText(QString::number(minutes));
    view->setIdleStepperValue(static_cast<int>(minutes));
    idleThreshold = minutes * 60;
}

void WorkSession::countKey() {
    if (mode == 1) {
        ++keyCount;
        ++unsentKeys;
    }
}

void WorkSession::countClick() {
    if (mode == 1) {
        ++clickCount;
        ++unsentClicks;
    }
}
