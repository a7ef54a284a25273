#include "AppDelegate.h"

#include "Alerts.h"
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
#include "UpdateChecker.h"
#include "UserDefaults.h"
#include "WallClock.h"
#include "WorkSession.h"

#include <QCoreApplication>

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
    workSession->afterUpdateUI = [this] { refreshSocialIfDue(); };
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
    socialPanel.reset();
    connectivityMonitor.reset();
    input.reset();
}

void AppDelegate::applicationDidFinishLaunching() {
    // The launch values are the subsystems' own initial state, given at construction.
    setupUI();
    mainWindow->setIdleFieldText(QString::number(IdleThreshold::launchMinutes));
    mainWindow->setIdleStepperValue(IdleThreshold::launchMinutes);
    ensureAccessibilityPermissionPrompt();

    if (!signInFlow->attemptAutoLogin() && !signInFlow->presentLogin()) {
        requestTerminate();
        return;
    }
    mainWindow->setEnabled(true);

    showFirstRunIfNeeded(*services.defaults, *services.alerts);
    startTickTimer();
    input->disableInputTracking();
    input->enableInputTracking(true);
    mainWindow->setGlobalTrackChecked(true);
    startConnectivityMonitor();
    updates = std::make_unique<UpdateChecker>(*services.transport, *services.alerts, services.serviceUrl,
                                              services.openUrl);
    updates->scheduleCheck(updateCheckDelayMs);
}

void AppDelegate::requestTerminate() {
    // Quit through the event loop, so the normal shut-down path runs.
    QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
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
    connect(mainWindow.get(), &MainWindow::clockRequested, this, [this] {
        input->processPendingInput();
        workSession->onClock();
    });
    connect(mainWindow.get(), &MainWindow::pauseRequested, this, [this] {
        input->processPendingInput();
        workSession->onPause();
    });
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
