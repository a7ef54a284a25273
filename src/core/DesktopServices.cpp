// The real backends of the desktop this process runs on. The choice between backends of one
// service is made by that service's own factory.
#include "AppDelegate.h"

#include "Alerts.h"
#include "BreakPrompt.h"
#include "CredentialStore.h"
#include "GlobalInputMonitorFactory.h"
#include "HttpTransport.h"
#include "IdleTimeSourceFactory.h"
#include "MonotonicClock.h"
#include "OfflineQueue.h"
#include "ProbeAddresses.h"
#include "QSettingsUserDefaults.h"
#include "Reachability.h"
#include "SecretServiceCredentialStore.h"
#include "ServiceConfig.h"
#include "SignInPrompt.h"
#include "WallClock.h"

#include <QDesktopServices>

AppDelegate::Services AppDelegate::desktopServices() {
    Services s;
    s.monotonic = std::make_unique<SteadyMonotonicClock>();
    s.wall = std::make_unique<SystemWallClock>();
    s.idle = IdleTimeSourceFactory::create();
    s.transport = std::make_unique<HttpTransport>(serviceBaseUrl());
    s.reachability = makeReachability();
    s.probeAddresses = std::make_unique<ProbeAddresses>(probeHost());
    s.globalMonitor = GlobalInputMonitorFactory::create();
    s.credentials = std::make_unique<SecretServiceCredentialStore>();
    s.defaults = std::make_unique<QSettingsUserDefaults>();
    s.queueDatabasePath = OfflineQueue::defaultDatabasePath();
    s.serviceUrl = QUrl(serviceBaseUrl());
    s.openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    return s;
}
