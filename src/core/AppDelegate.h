#pragma once

#include "ModalGate.h"
#include "SyncState.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>

class BreakPrompt;
class EventReports;
class IdleTimeSource;
class MonotonicClock;
class SessionView;
class WallClock;
class WorkSession;

/// The one owner: holds every subsystem of the running program and wires them together.
/// All of its state lives on the GUI thread.
class AppDelegate : public QObject {
    Q_OBJECT

public:
    /// Everything platform-facing that the program is handed: the real backends in the
    /// program, fakes in tests.
    struct Services {
        std::unique_ptr<MonotonicClock> monotonic;
        std::unique_ptr<WallClock> wall;
        std::unique_ptr<IdleTimeSource> idle;
        std::unique_ptr<EventReports> reports;
        std::unique_ptr<BreakPrompt> breakPrompt;
        /// Fetches the social metrics; called by the display refresh when that is due.
        std::function<void()> refreshSocialMetrics;
    };

    explicit AppDelegate(Services services, QObject* parent = nullptr);
    ~AppDelegate() override;
    AppDelegate(const AppDelegate&) = delete;
    AppDelegate& operator=(const AppDelegate&) = delete;

    WorkSession& session() { return *workSession; }
    ModalGate& modalGate() { return modal; }
    SyncState& sync() { return syncState; }

    void setSessionView(SessionView* view);

    // Session operations, reachable by their names.
    void onClock();
    void onPause();
    void onTickTimer();
    void onTick();
    void onIdleStepper(qint64 minutes);
    void onIdleFieldChange();
    void updateUI();

    /// Creates and starts the 0.2 s tick timer (once).
    void startTickTimer();
    void stopTickTimer();
    QTimer* tickTimer() const { return tick; }

private:
    void refreshSocialIfDue();

    Services services;
    ModalGate modal;
    SyncState syncState;
    std::unique_ptr<WorkSession> workSession;
    QPointer<QTimer> tick;
};
