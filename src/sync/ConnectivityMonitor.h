#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <memory>

class ModalGate;
class OfflineBannerView;
class OfflineQueue;
class ProbeAddresses;
class Reachability;
struct SyncState;

/// Keeps SyncState::isOnline: polls whether the probed host can be reached, at once when set up
/// and then every 3 s, shows the offline banner while it cannot, and flushes the offline queue
/// after every poll that finds it reachable. GUI thread only.
///
/// A poll asks the reachability backend about the cached addresses of the host; it never
/// sends anything and never waits on DNS. While no address is known yet the poll counts as
/// offline and asks for a new lookup; when that lookup answers, the monitor polls again at once.
/// Without a reachability backend or a host to probe, the program counts as always online, and
/// the queue is still flushed on every poll, so that a report whose send failed is not stranded.
class ConnectivityMonitor final : public QObject {
    Q_OBJECT

public:
    static constexpr int pollIntervalMs = 3000;

    ConnectivityMonitor(SyncState& sync, OfflineQueue& queue, std::unique_ptr<Reachability> reachability,
                        std::unique_ptr<ProbeAddresses> addresses, QObject* parent = nullptr);
    ~ConnectivityMonitor() override;
    ConnectivityMonitor(const ConnectivityMonitor&) = delete;
    ConnectivityMonitor& operator=(const ConnectivityMonitor&) = delete;

    /// The banner to show and hide; none until the window exists. Not owned.
    void setBannerView(OfflineBannerView* view) { banner = view; }
    /// Timer polls are dropped while this gate reports a modal dialog. Not owned.
    void setModalGate(const ModalGate* gate) { modal = gate; }

    /// Creates the 3 s timer and polls once at once. Does nothing when already set up.
    void setUp();
    /// Stops the timer and releases the reachability backend; no poll runs afterwards.
    void tearDown();

    /// One poll: sets isOnline, shows or hides the banner and flushes the queue when online.
    void updateReachability();

private:
    void onReachTimer();

    SyncState& sync;
    OfflineQueue& queue;
    std::unique_ptr<Reachability> reachability;
    std::unique_ptr<ProbeAddresses> addresses;
    OfflineBannerView* banner = nullptr;
    const ModalGate* modal = nullptr;
    QPointer<QTimer> reachTimer;
    bool tornDown = false;
    /// The last poll found no address to ask about.
    bool lackedAddress = false;
};
