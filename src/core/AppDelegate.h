#pragma once

#include "ModalGate.h"
#include "SyncState.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <memory>

class Alerts;
class BreakPrompt;
class ConnectivityMonitor;
class CredentialStore;
class GlobalInputMonitor;
class IdleTimeSource;
class InputTracking;
class JsonTransport;
class MainWindow;
class MonotonicClock;
class OfflineQueue;
class ProbeAddresses;
class Reachability;
class SessionView;
class SignIn;
class SignInPrompt;
class SocialPanel;
class TimeClockApi;
class TodayTotal;
class UpdateChecker;
class UserDefaults;
class WallClock;
class WorkSession;

/// The one owner: holds every subsystem of the running program, wires them together and runs
/// the start-up and shut-down sequences. All of its state lives on the GUI thread.
class AppDelegate : public QObject {
    Q_OBJECT

public:
    /// Everything platform-facing the program is handed: the desktop's real backends in the
    /// program (desktopServices()), fakes in tests.
    struct Services {
        // Out of line: the members' types are complete only in AppDelegate.cpp.
        Services();
        ~Services();
        Services(Services&&) noexcept;
        Services& operator=(Services&&) noexcept;

        std::unique_ptr<MonotonicClock> monotonic;
        std::unique_ptr<WallClock> wall;
        std::unique_ptr<IdleTimeSource> idle;
        std::unique_ptr<JsonTransport> transport;
        std::unique_ptr<Reachability> reachability;
        std::unique_ptr<ProbeAddresses> probeAddresses;
        std::unique_ptr<GlobalInputMonitor> globalMonitor;
        std::unique_ptr<CredentialStore> credentials;
        std::unique_ptr<UserDefaults> defaults;
        /// The durable offline queue's database file.
        QString queueDatabasePath;
        /// The service's web site, opened when the user accepts an update.
        QUrl serviceUrl;
        std::function<bool(const QUrl&)> openUrl;
        /// Prompts; those left empty are the real dialogs, made when the window is built.
        std::unique_ptr<Alerts> alerts;
        std::unique_ptr<SignInPrompt> signInPrompt;
        std::unique_ptr<BreakPrompt> breakPrompt;
    };

    /// The real backends for the desktop this process runs on.
    static Services desktopServices();

    explicit AppDelegate(Services services, QObject* parent = nullptr);
    ~AppDelegate() override;
    AppDelegate(const AppDelegate&) = delete;
    AppDelegate& operator=(const AppDelegate&) = delete;

    // Life cycle.
    void applicationDidFinishLaunching();
    void applicationWillTerminate();
    void setupUI();
    void ensureAccessibilityPermissionPrompt();
    void showFirstRunIfNeeded();

    // Work session.
    void onClock();
    void onPause();
    void onTickTimer();
    void onTick();
    void onIdleStepper(qint64 minutes);
    void onIdleFieldChange();
    void updateUI();

    // Input counting.
    void enableInputTracking(bool global);
    void disableInputTracking();
    void onGlobalTrackToggled(bool checked);

    // Synchronisation and sign-in.
    void updateReachability();
    void flushPendingIfOnline();
    void refreshTotalToday();
    void updateSocialVisibility();
    void refreshSocialMetricsFromAPI();
    bool attemptAutoLogin();
    bool presentLogin();
    void checkAndPromptForUpdate();

    /// Creates and starts the 0.2 s tick timer (once).
    void startTickTimer();
    void stopTickTimer();

    WorkSession& session() { return *workSession; }
    SyncState& sync() { return syncState; }
    ModalGate& modalGate() { return modal; }
    OfflineQueue& queue() { return *offlineQueue; }
    TimeClockApi& api() { return *timeClockApi; }
    SignIn& signIn() { return *signInFlow; }
    InputTracking& inputTracking() { return *input; }
    QTimer* tickTimer() const { return tick; }
    ConnectivityMonitor* connectivity() const { return connectivityMonitor.get(); }
    MainWindow* window() const { return mainWindow.get(); }
    UpdateChecker* updateChecker() const { return updates.get(); }
    bool globalMonitoringAvailable() const { return globalMonitoringUsable; }

    /// Lets tests drive the session without a window.
    void setSessionView(SessionView* view);

    /// The start-up and shut-down steps as they ran, in order.
    QStringList lifecycleSteps;

signals:
    /// Start-up has finished and the time clock runs.
    void launched();

private:
    void refreshSocialIfDue();
    void afterSignIn();
    void requestTerminate();

    Services services;
    ModalGate modal;
    SyncState syncState;
    std::unique_ptr<OfflineQueue> offlineQueue;
    std::unique_ptr<TimeClockApi> timeClockApi;
    std::unique_ptr<WorkSession> workSession;
    std::unique_ptr<TodayTotal> todayTotal;
    std::unique_ptr<InputTracking> input;
    std::unique_ptr<SignIn> signInFlow;
    std::unique_ptr<MainWindow> mainWindow;
    std::unique_ptr<SocialPanel> socialPanel;
    std::unique_ptr<ConnectivityMonitor> connectivityMonitor;
    std::unique_ptr<UpdateChecker> updates;
    QPointer<QTimer> tick;
    bool globalMonitoringUsable = false;
};
