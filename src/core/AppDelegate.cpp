#include "AppDelegate.h"

#include "Alerts.h"
#include "BreakPrompt.h"
#include "BreakPromptDialog.h"
#include "ConnectivityMonitor.h"
#include "CredentialStore.h"
#include "DialogSignInPrompt.h"
#include "FirstRunNotice.h"
#include "GlobalInputMonitor.h"
#include "IdleTimeSource.h"
#include "InputTracking.h"
#include "JsonTransport.h"
#include "MainWindow.h"
#include "MessageBoxAlerts.h"
#include "MonotonicClock.h"
#include "OfflineQueue.h"
#include "ProbeAddresses.h"
#include "Reachability.h"
#include "SessionView.h"
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
constexpr int launchIdleMinutes = 3;
} // namespace

AppDelegate::Services::Services() = default;
AppDelegate::Services::~Services() = default;
AppDelegate::Services::Services(Services&&) noexcept = default;
AppDelegate::Services& AppDelegate::Services::operator=(Services&&) noexcept = default;

AppDelegate::AppDelegate(Services services, QObject* parent)
    : QObject(parent)
    , services(std::move(services)) {
    Services& s = this->services;
    if (!s.alerts)
        s.alerts = std::make_unique<MessageBoxAlerts>(modal, nullptr);
    if (!s.signInPrompt)
        s.signInPrompt = std::make_unique<DialogSignInPrompt>(modal, nullptr);
    if (!s.breakPrompt)
        s.breakPrompt = std::make_unique<BreakPromptDialog>(modal, nullptr);

    // Loading the durable queue here means what an earlier run left is sent at the first
    // online poll of this one.
    offlineQueue = std::make_unique<OfflineQueue>(syncState, *s.transport, s.queueDatabasePath);
    timeClockApi = std::make_unique<TimeClockApi>(syncState, *s.transport, *offlineQueue, *s.wall);
    workSession = std::make_unique<WorkSession>(
        WorkSession::Services{*s.monotonic, *s.wall, *s.idle, *timeClockApi, *s.breakPrompt});
    workSession->afterUpdateUI = [this] { refreshSocialIfDue(); };
    todayTotal = std::make_unique<TodayTotal>(syncState, *timeClockApi, *s.wall);
    input = std::make_unique<InputTracking>(*workSession, std::move(s.globalMonitor));
    signInFlow = std::make_unique<SignIn>(
        SignIn::Services{syncState, *s.credentials, *s.defaults, *s.signInPrompt, *s.alerts,
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

void AppDelegate::setSessionView(SessionView* view) {
    workSession->setView(view);
}

void AppDelegate::applicationDidFinishLaunching() {
    // Step 1, the launch values, is the construction of the subsystems.
    lifecycleSteps.append(QStringLiteral("initialValues"));

    setupUI();

    lifecycleSteps.append(QStringLiteral("idleControls"));
    if (mainWindow) {
        mainWindow->setIdleFieldText(QString::number(launchIdleMinutes));
        mainWindow->setIdleStepperValue(launchIdleMinutes);
    }

    ensureAccessibilityPermissionPrompt();

    if (!attemptAutoLogin() && !presentLogin()) {
        requestTerminate();
        return;
    }

    showFirstRunIfNeeded();

    lifecycleSteps.append(QStringLiteral("tickTimer"));
    startTickTimer();

    lifecycleSteps.append(QStringLiteral("inputTracking"));
    disableInputTracking();
    enableInputTracking(true);
    if (mainWindow)
        mainWindow->setGlobalTrackChecked(true);

    lifecycleSteps.append(QStringLiteral("connectivity"));
    connectivityMonitor = std::make_unique<ConnectivityMonitor>(
        syncState, *offlineQueue, std::move(services.reachability), std::move(services.probeAddresses));
    connectivityMonitor->setBannerView(mainWindow.get());
    connectivityMonitor->setModalGate(&modal);
    connectivityMonitor->setUp();

    lifecycleSteps.append(QStringLiteral("updateCheckScheduled"));
    updates = std::make_unique<UpdateChecker>(*services.transport, *services.alerts, services.serviceUrl,
                                              services.openUrl);
    updates->scheduleCheck(updateCheckDelayMs);

    emit launched();
}

void AppDelegate::requestTerminate() {
    lifecycleSteps.append(QStringLiteral("terminate"));
    // Quit through the event loop, so the normal shut-down path runs.
    QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
}

void AppDelegate::applicationWillTerminate() {
    lifecycleSteps.append(QStringLiteral("willTerminate"));
    stopTickTimer();
    if (connectivityMonitor)
        connectivityMonitor->tearDown();
    disableInputTracking();
}

void AppDelegate::setupUI() {
    lifecycleSteps.append(QStringLiteral("setupUI"));
    if (mainWindow)
        return;
    mainWindow = std::make_unique<MainWindow>();
    connect(mainWindow.get(), &MainWindow::clockRequested, this, &AppDelegate::onClock);
    connect(mainWindow.get(), &MainWindow::pauseRequested, this, &AppDelegate::onPause);
    connect(mainWindow.get(), &MainWindow::idleFieldCommitted, this, &AppDelegate::onIdleFieldChange);
    connect(mainWindow.get(), &MainWindow::idleStepperChanged, this,
            [this](int minutes) { onIdleStepper(minutes); });
    connect(mainWindow.get(), &MainWindow::globalTrackToggled, this, &AppDelegate::onGlobalTrackToggled);
    workSession->setView(mainWindow.get());
    todayTotal->setView(mainWindow.get());
    socialPanel = std::make_unique<SocialPanel>(syncState, *services.transport, *mainWindow);
    mainWindow->setIdleDetectionAvailable(services.idle->isAvailable());
    mainWindow->present();
}

void AppDelegate::ensureAccessibilityPermissionPrompt() {
    lifecycleSteps.append(QStringLiteral("ensureAccessibilityPermissionPrompt"));
    globalMonitoringUsable = input->ensureAccessibilityPermissionPrompt();
    if (mainWindow)
        mainWindow->setGlobalMonitoringAvailable(globalMonitoringUsable);
}

bool AppDelegate::attemptAutoLogin() {
    lifecycleSteps.append(QStringLiteral("attemptAutoLogin"));
    return signInFlow->attemptAutoLogin();
}

bool AppDelegate::presentLogin() {
    lifecycleSteps.append(QStringLiteral("presentLogin"));
    return signInFlow->presentLogin();
}

void AppDelegate::afterSignIn() {
    updateSocialVisibility();
    refreshSocialMetricsFromAPI();
    refreshTotalToday();
}

void AppDelegate::showFirstRunIfNeeded() {
    lifecycleSteps.append(QStringLiteral("showFirstRunIfNeeded"));
    ::showFirstRunIfNeeded(*services.defaults, *services.alerts);
}

void AppDelegate::onClock() {
    input->processPendingInput();
    workSession->onClock();
}

void AppDelegate::onPause() {
    input->processPendingInput();
    workSession->onPause();
}

void AppDelegate::onTickTimer() {
    // Qt delivers timers inside a modal dialog's nested loop; such ticks are dropped.
    if (modal.isOpen())
        return;
    onTick();
}

void AppDelegate::onTick() {
    workSession->onTick();
}

void AppDelegate::onIdleStepper(qint64 minutes) {
    workSession->onIdleStepper(minutes);
}

void AppDelegate::onIdleFieldChange() {
    workSession->onIdleFieldChange();
}

void AppDelegate::updateUI() {
    workSession->updateUI();
}

void AppDelegate::enableInputTracking(bool global) {
    input->enableInputTracking(global);
}

void AppDelegate::disableInputTracking() {
    input->disableInputTracking();
}

void AppDelegate::onGlobalTrackToggled(bool checked) {
    input->onGlobalTrackToggled(checked);
}

void AppDelegate::updateReachability() {
    if (connectivityMonitor)
        connectivityMonitor->updateReachability();
}

void AppDelegate::flushPendingIfOnline() {
    offlineQueue->flushPendingIfOnline();
}

void AppDelegate::refreshTotalToday() {
    todayTotal->refreshTotalToday();
}

void AppDelegate::updateSocialVisibility() {
    if (socialPanel)
        socialPanel->updateSocialVisibility();
}

void AppDelegate::refreshSocialMetricsFromAPI() {
    if (socialPanel)
        socialPanel->refreshSocialMetricsFromAPI();
}

void AppDelegate::checkAndPromptForUpdate() {
    if (updates)
        updates->checkAndPromptForUpdate();
}

void AppDelegate::refreshSocialIfDue() {
    if (syncState.jobId == QLatin1String("0") && syncState.isOnline)
        refreshSocialMetricsFromAPI();
}

void AppDelegate::startTickTimer() {
    if (tick)
        return;
    tick = new QTimer(this);
    tick->setInterval(tickIntervalMs);
    connect(tick, &QTimer::timeout, this, &AppDelegate::onTickTimer);
    tick->start();
}

void AppDelegate::stopTickTimer() {
    if (tick) {
        tick->stop();
        delete tick.data();
    }
}
