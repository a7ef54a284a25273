#include "DesktopServices.h"

#include "Alerts.h"
#include "BreakPrompt.h"
#include "BreakPromptDialog.h"
#include "CredentialStore.h"
#include "DialogSignInPrompt.h"
#include "GlobalInputMonitorFactory.h"
#include "HttpTransport.h"
#include "IdleTimeSourceFactory.h"
#include "MessageBoxAlerts.h"
#include "MonotonicClock.h"
#include "OfflineQueue.h"
#include "ProbeAddresses.h"
#include "QSettingsUserDefaults.h"
#include "ReachabilityFactory.h"
#include "SecretServiceCredentialStore.h"
#include "ServiceConfig.h"
#include "SignInPrompt.h"
#include "WallClock.h"

#include <QDesktopServices>

AppDelegate::Services makeDesktopServices() {
    AppDelegate::Services s;
    s.monotonic = std::make_unique<BootTimeClock>();
    s.wall = std::make_unique<SystemWallClock>();
    s.idle = makeIdleTimeSource();
    s.transport = std::make_unique<HttpTransport>(serviceBaseUrl());
    s.reachability = makeReachability();
    s.probeAddresses = std::make_unique<ProbeAddresses>(probeHost());
    s.globalMonitor = makeGlobalInputMonitor();
    s.credentials = std::make_unique<SecretServiceCredentialStore>();
    s.defaults = std::make_unique<QSettingsUserDefaults>();
    s.queueDatabasePath = OfflineQueue::defaultDatabasePath();
    s.serviceUrl = QUrl(serviceBaseUrl());
    s.openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    // Without a parent: the window does not exist yet, and every dialog is application-modal.
    s.alerts = std::make_unique<MessageBoxAlerts>(*s.modalGate, nullptr);
    s.signInPrompt = std::make_unique<DialogSignInPrompt>(*s.modalGate, nullptr);
    s.breakPrompt = std::make_unique<BreakPromptDialog>(*s.modalGate, nullptr);
    return s;
}
