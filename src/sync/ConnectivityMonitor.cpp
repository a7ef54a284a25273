#include "ConnectivityMonitor.h"

#include "ModalGate.h"
#include "OfflineBannerView.h"
#include "OfflineQueue.h"
#include "ProbeAddresses.h"
#include "Reachability.h"
#include "SyncState.h"

#include <algorithm>

ConnectivityMonitor::ConnectivityMonitor(SyncState& sync, OfflineQueue& queue,
                                         std::unique_ptr<Reachability> reachability,
                                         std::unique_ptr<ProbeAddresses> addresses, QObject* parent)
    : QObject(parent)
    , sync(sync)
    , queue(queue)
    , reachability(std::move(reachability))
    , addresses(std::move(addresses)) {
    if (this->addresses) {
        this->addresses->onResolved = [this] {
            // An offline verdict for want of an address is corrected now, not 3 s later.
            if (reachTimer && lackedAddress)
                onReachTimer();
        };
    }
}

ConnectivityMonitor::~ConnectivityMonitor() = default;

void ConnectivityMonitor::setUp() {
    if (reachTimer || tornDown)
        return;
    reachTimer = new QTimer(this);
    reachTimer->setInterval(pollIntervalMs);
    // The callback holds the monitor weakly: a timer that outlives it polls nothing.
    connect(reachTimer, &QTimer::timeout, reachTimer, [monitor = QPointer<ConnectivityMonitor>(this)] {
        if (monitor)
            monitor->onReachTimer();
    });
    reachTimer->start();
    updateReachability();
}

void ConnectivityMonitor::tearDown() {
    tornDown = true;
    if (reachTimer) {
        reachTimer->stop();
        delete reachTimer.data();
    }
    reachability.reset();
}

void ConnectivityMonitor::onReachTimer() {
    // Qt delivers timers inside a modal dialog's nested loop; such polls are dropped.
    if (tornDown || (modal && modal->isOpen()))
        return;
    updateReachability();
}

void ConnectivityMonitor::updateReachability() {
    bool online = true;
    lackedAddress = false;
    // No backend, or no host to ask about, is the "no target" case: always online.
    if (reachability && reachability->isAvailable() && addresses && !addresses->host().isEmpty()) {
        const QList<QHostAddress> known = addresses->addresses();
        lackedAddress = known.isEmpty();
        online = std::any_of(known.begin(), known.end(), [this](const QHostAddress& address) {
            return reachability->isReachable(address);
        });
        // The host may have moved, or the first lookup failed while offline: look again,
        // in the background, whenever the addresses known give no way there.
        if (!online)
            addresses->refresh();
    }
    sync.isOnline = online;
    if (banner)
        banner->setOfflineBannerVisible(!online);
    if (online)
        queue.flushPendingIfOnline();
}
