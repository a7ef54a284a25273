#pragma once

#include "ModalGate.h"
#include "SyncState.h"

#include <QCoreApplication>
#include <QObject>
#include <QPointer>
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
class SignIn;
class SignInPrompt;
class SocialPanel;
class TimeClockApi;
class TodayTotal;
class TrayIcon;
class UpdateChecker;
class UserDefaults;
class WallClock;
class WorkSession;

/// The one owner: holds every subsystem of the running program, wires them together and runs
/// the start-up and shut-down sequences. It is handed every platform backend and dialog and
/// builds none itself. All of its state lives on the GUI thread.
class AppDelegate : public QObject {
    Q_OBJECT

public:
    /// Everything platform-facing the program is handed: the desktop's real backends and
    /// dialogs in the program, fakes in tests. Every member must be set.
    struct Services {
        // Out of line: the members' types are complete only in AppDelegate.cpp.
        Services();
        ~Services();
        Services(Services&&) noexcept;
        Services& operator=(Services&&) noexcept;

        /// Open while any dialog below runs; the program's timers drop their ticks then. First,
        /// so that it outlives the dialogs that hold it.
        std::unique_ptr<ModalGate> modalGate = std::make_unique<ModalGate>();
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
        /// Leaves the event loop; shut-down runs once it has returned. exit() rather than quit(),
        /// which would ask the windows to close, and the main window does not close by itself.
        std::function<void()> quit = [] { QCoreApplication::exit(0); };
        std::unique_ptr<Alerts> alerts;
        std::unique_ptr<SignInPrompt> signInPrompt;
        std::unique_ptr<BreakPrompt> breakPrompt;
    };

    explicit AppDelegate(Services services, QObject* parent = nullptr);
    ~AppDelegate() override;
    AppDelegate(const AppDelegate&) = delete;
    AppDelegate& operator=(const AppDelegate&) = delete;

    /// Start-up, run once from the event loop: the window, sign-in (the program quits when the
    /// user chooses "Quit"), the first-run notice, then the tick, input counting, the
    /// connectivity monitor and, a second later, the update check.
    void applicationDidFinishLaunching();
    /// Shut-down: stops the tick, the connectivity monitor and input counting. Nothing is
    /// clocked out or sent.
    void applicationWillTerminate();
    /// One tick of the 0.2 s timer; dropped while a modal dialog is open.
    void onTickTimer();
    /// "Show Corlune Track", from the tray or a second launch: the window, or the dialog that is
    /// open, comes to the front.
    void showMainWindow();
    /// Quit, from the tray, Ctrl+Q, the end of the desktop session or a signal: leaves the event
    /// loop, whatever dialog is open, so that the shut-down runs. Nothing after start-up's
    /// current dialog runs.
    void requestTerminate();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setupUI();
    void ensureAccessibilityPermissionPrompt();
    void afterSignIn();
    void refreshSocialIfDue();
    void startTickTimer();
    void startConnectivityMonitor();
    void startTray();
    void afterUpdateUI();
    void onClockAction();
    void onPauseAction();
    void onWindowClose();

    Services services;
    SyncState sync;
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
    std::unique_ptr<TrayIcon> tray;
    /// A child of this object from start-up on; null before and after.
    QPointer<QTimer> tickTimer;
    bool terminating = false;
};
