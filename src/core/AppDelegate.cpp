#include "AppDelegate.h"

#include "Alerts.h"
#include "AutostartEntry.h"
#include "BreakPrompt.h"
#include "ConnectivityMonitor.h"
#include "CredentialStore.h"
#include "FirstRunNotice.h"
#include "GlobalInputMonitor.h"
#include "IdleThreshold.h"
#include "IdleTimeSource.h"
#include "InputTracking.h"
#include "JsonTransport.h"
#include "MainWindow.h"
#include "MonotonicClock.h"
#include "OfflineQueue.h"
#include "ProbeAddresses.h"
#include "Reachability.h"
#include "SignIn.h"
#include "SignInPrompt.h"
#include "SocialPanel.h"
#include "TimeClockApi.h"
#include "TodayTotal.h"
#include "TrayIcon.h"
#include "UpdateChecker.h"
#include "UserDefaults.h"
#include "WallClock.h"
#include "WorkSession.h"

#include <QApplication>
#include <QEvent>

namespace {
constexpr int tickIntervalMs = 200;
constexpr int updateCheckDelayMs = 1000;
} // namespace

AppDelegate::Services::Services() = default;
AppDelegate::Services::~Services() = default;
AppDelegate::Services::Services(Services&&) noexcept = default;
AppDelegate::Services& AppDelegate::Services::operator=(Services&&) noexcept = default;

AppDelegate::AppDelegate(Services services, QObject* parent)
    : QObject(parent)
    , services(std::move(services)) {
    Services& s = this->services;
    // Loading the durable queue here means what an earlier run left is sent at the first
    // online poll of this one.
    offlineQueue = std::make_unique<OfflineQueue>(sync, *s.transport, *s.wall, s.queueDatabasePath);
    timeClockApi = std::make_unique<TimeClockApi>(sync, *s.transport, *offlineQueue, *s.wall);
    // A token the service no longer takes is renewed with the password "Stay signed in" kept;
    // without one the owner's reports wait for the next sign-in.
    offlineQueue->onUnauthorized = [this](const ReportOwner& owner) {
        const std::optional<QString> password =
            this->services.credentials->kcLoadPasswordForEmployee(owner.first, owner.second);
        if (password && !password->isEmpty())
            timeClockApi->verifyAgain(owner, *password);
    };
    workSession = std::make_unique<WorkSession>(
        WorkSession::Services{*s.monotonic, *s.wall, *s.idle, *timeClockApi, *s.breakPrompt});
    workSession->afterUpdateUI = [this] { afterUpdateUI(); };
    todayTotal = std::make_unique<TodayTotal>(sync, *timeClockApi, *s.wall);
    input = std::make_unique<InputTracking>(*workSession, std::move(s.globalMonitor));
    signInFlow = std::make_unique<SignIn>(
        SignIn::Services{sync, *s.credentials, *s.defaults, *s.signInPrompt, *s.alerts,
                         [this](const QString& employeeId, const QString& jobId, const QString& password) {
                             return timeClockApi->apiVerifyEmployee(employeeId, jobId, password);
                         },
                         [this] { afterSignIn(); }});
}

AppDelegate::~AppDelegate() {
    // The update check's thread and the social fetch use the transport: stop them first. The
    // check may still be waiting for its answer, so the window goes before that wait.
    if (mainWindow)
        mainWindow->hide();
    updates.reset();
    tray.reset();
    socialPanel.reset();
    connectivityMonitor.reset();
    input.reset();
}

void AppDelegate::applicationDidFinishLaunching() {
    // Every way of ending the program that Qt delivers as a quit (the end of an X session among
    // them) goes through requestTerminate(), which no closed window can refuse.
    QCoreApplication::instance()->installEventFilter(this);
    // The launch values are the subsystems' own initial state, given at construction.
    setupUI();
    mainWindow->setIdleFieldText(QString::number(IdleThreshold::launchMinutes));
    mainWindow->setIdleStepperValue(IdleThreshold::launchMinutes);
    ensureAccessibilityPermissionPrompt();

    if (!signInFlow->attemptAutoLogin() && !signInFlow->presentLogin()) {
        requestTerminate();
        return;
    }
    if (terminating)
        return;
    mainWindow->setEnabled(true);
    showFirstRunIfNeeded(*services.defaults, *services.alerts);
    if (terminating)
        return;
    startTickTimer();
    input->disableInputTracking();
    input->enableInputTracking(true);
    mainWindow->setGlobalTrackChecked(true);
    startConnectivityMonitor();
    updates = std::make_unique<UpdateChecker>(*services.transport, *services.alerts, services.serviceUrl,
                                              services.openUrl);
    updates->scheduleCheck(updateCheckDelayMs);
    startTray();
}

void AppDelegate::requestTerminate() {
    terminating = true;
    // Through the event loop, so that whatever asked for it returns first.
    QMetaObject::invokeMethod(
        this, [this] { services.quit(); }, Qt::QueuedConnection);
}

bool AppDelegate::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Quit && watched == QCoreApplication::instance()) {
        requestTerminate();
        return true;
    }
    return false;
}

void AppDelegate::showMainWindow() {
    if (mainWindow)
        mainWindow->bringToFront();
    if (QWidget* dialog = QApplication::activeModalWidget()) {
        dialog->raise();
        dialog->activateWindow();
    }
}

void AppDelegate::onClockAction() {
    // The tray's menu is not blocked by an open dialog as the window is; the dialog comes first.
    if (services.modalGate->isOpen())
        return showMainWindow();
    // A press of ours that the global monitor has not delivered yet counts under the mode it
    // was made in, before the button changes it.
    input->processPendingInput();
    workSession->onClock();
}

void AppDelegate::onPauseAction() {
    if (services.modalGate->isOpen())
        return showMainWindow();
    input->processPendingInput();
    workSession->onPause();
}

void AppDelegate::onWindowClose() {
    // Without a tray a hidden window could not be found again; a minimised one can, and it keeps
    // the clock running while the employee is clocked in.
    if (tray && TrayIcon::isAvailable())
        mainWindow->hide();
    else if (workSession->mode != 0)
        mainWindow->showMinimized();
    else
        requestTerminate();
}

void AppDelegate::startTray() {
    tray = std::make_unique<TrayIcon>();
    tray->setStartAtLoginChecked(AutostartEntry::isEnabled());
    connect(tray.get(), &TrayIcon::showRequested, this, &AppDelegate::showMainWindow);
    connect(tray.get(), &TrayIcon::clockRequested, this, &AppDelegate::onClockAction);
    connect(tray.get(), &TrayIcon::pauseRequested, this, &AppDelegate::onPauseAction);
    connect(tray.get(), &TrayIcon::quitRequested, this, &AppDelegate::requestTerminate);
    connect(tray.get(), &TrayIcon::startAtLoginToggled, this, [this](bool on) {
        AutostartEntry::setEnabled(on, QCoreApplication::applicationFilePath());
        // The check mark tells what the next login will do, also when the file could not be written.
        tray->setStartAtLoginChecked(AutostartEntry::isEnabled());
    });
    afterUpdateUI();
}

void AppDelegate::afterUpdateUI() {
    refreshSocialIfDue();
    if (tray)
        tray->update(workSession->mode, workSession->autoPaused, workSession->workTime(), sync.isOnline);
}

void AppDelegate::applicationWillTerminate() {
    delete tickTimer.data();
    if (connectivityMonitor)
        connectivityMonitor->tearDown();
    input->disableInputTracking();
}

void AppDelegate::setupUI() {
    mainWindow = std::make_unique<MainWindow>();
    // A press of ours that the global monitor has not delivered yet counts under the mode it
    // was made in, before the button changes it.
    connect(mainWindow.get(), &MainWindow::clockRequested, this, &AppDelegate::onClockAction);
    connect(mainWindow.get(), &MainWindow::pauseRequested, this, &AppDelegate::onPauseAction);
    connect(mainWindow.get(), &MainWindow::closeRequested, this, &AppDelegate::onWindowClose);
    connect(mainWindow.get(), &MainWindow::quitRequested, this, &AppDelegate::requestTerminate);
    connect(mainWindow.get(), &MainWindow::idleFieldCommitted, this,
            [this] { workSession->onIdleFieldChange(); });
    connect(mainWindow.get(), &MainWindow::idleStepperChanged, this,
            [this](int minutes) { workSession->onIdleStepper(minutes); });
    connect(mainWindow.get(), &MainWindow::globalTrackToggled, this,
            [this](bool checked) { input->onGlobalTrackToggled(checked); });
    workSession->setView(mainWindow.get());
    todayTotal->setView(mainWindow.get());
    socialPanel = std::make_unique<SocialPanel>(sync, *services.transport, *mainWindow);
    mainWindow->setIdleDetectionAvailable(services.idle->isAvailable());
    offlineQueue->setRefusedView(mainWindow.get());
    // Nothing in the window acts before sign-in, whatever presses it: a report then would have
    // no employee.
    mainWindow->setEnabled(false);
    mainWindow->present();
}

void AppDelegate::ensureAccessibilityPermissionPrompt() {
    // X11 asks no permission of a program that counts global input; what the window can tell
    // instead is whether this desktop offers it at all.
    mainWindow->setGlobalMonitoringAvailable(input->globalMonitoringAvailable());
}

void AppDelegate::afterSignIn() {
    socialPanel->updateSocialVisibility();
    socialPanel->refreshSocialMetricsFromAPI();
    todayTotal->refreshTotalToday();
}

void AppDelegate::onTickTimer() {
    // Qt delivers timers inside a modal dialog's nested loop; such ticks are dropped.
    if (services.modalGate->isOpen())
        return;
    workSession->onTick();
}

void AppDelegate::refreshSocialIfDue() {
    if (socialPanel && sync.jobId == QLatin1String("0") && sync.isOnline)
        socialPanel->refreshSocialMetricsFromAPI();
}

void AppDelegate::startTickTimer() {
    tickTimer = new QTimer(this);
    tickTimer->setInterval(tickIntervalMs);
    connect(tickTimer, &QTimer::timeout, this, &AppDelegate::onTickTimer);
    tickTimer->start();
}

void AppDelegate::startConnectivityMonitor() {
    connectivityMonitor = std::make_unique<ConnectivityMonitor>(
        sync, *offlineQueue, std::move(services.reachability), std::move(services.probeAddresses));
    connectivityMonitor->setBannerView(mainWindow.get());
    connectivityMonitor->setModalGate(services.modalGate.get());
    connectivityMonitor->setUp();
}
