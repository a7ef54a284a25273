#pragma once

#include "InputMonitor.h"

#include <memory>

class GlobalInputMonitor;
class WorkSession;

/// Counting of key presses and mouse clicks through event monitors, into the work session's
/// counters (which count only while working). Local monitors see the input of this program's
/// own windows; global monitors, while "Track inputs globally" is on and the desktop allows it,
/// see every program's, ours included. So that no press counts twice, the local monitors count
/// only while no global monitor of their kind is working.
///
/// Raw X11 input carries no auto-repeats: a key held down counts once with global monitoring,
/// and once per repeat with local monitoring only.
class InputTracking {
public:
    InputTracking(WorkSession& session, std::unique_ptr<GlobalInputMonitor> global);
    ~InputTracking();
    InputTracking(const InputTracking&) = delete;
    InputTracking& operator=(const InputTracking&) = delete;

    /// Installs the local key and mouse monitors, then, when \a global is true and the desktop
    /// offers it, the global key and mouse monitors. Installed monitors stay: callers call
    /// disableInputTracking() first.
    void enableInputTracking(bool global);
    /// Removes whatever monitors are installed; safe at any time, also twice.
    void disableInputTracking();
    /// The "Track inputs globally" check box: the monitor set for its new state. Counts are kept.
    void onGlobalTrackToggled(bool checked);
    /// Counts every press made so far that a global monitor has not yet delivered. Called before
    /// a button of ours changes the work mode, so that each press counts under the mode it was
    /// made in: the press on "Clock In" while clocked out, the one on "Pause" while working.
    void processPendingInput();

    /// Whether the desktop lets this program count input to other programs (an X11 session with
    /// XInput 2.2).
    bool globalMonitoringAvailable() const;

    // The installed monitors, nullptr when none; installed and removed in this order.
    std::unique_ptr<InputMonitor> localKeyMonitor;
    std::unique_ptr<InputMonitor> localMouseMonitor;
    std::unique_ptr<InputMonitor> globalKeyMonitor;
    std::unique_ptr<InputMonitor> globalMouseMonitor;

private:
    bool globalCounts(const std::unique_ptr<InputMonitor>& monitor) const;

    WorkSession& session;
    std::unique_ptr<GlobalInputMonitor> global;
};
