#pragma once

#include "QueuedRequest.h"

#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <set>

class JsonTransport;
class QueueDatabase;
class RefusedReportsView;
class WallClock;
struct JsonReply;
struct SyncState;

/// Every report on its way to the service, oldest first. Durable: every enqueue is on the disk
/// before it returns and every delivery is removed from the queue database as it is answered,
/// so what is queued survives quitting, a killed process and a power loss, and is sent once its
/// employee has signed in again. (A power loss may bring back a few delivered requests; they are
/// sent again under their own Idempotency-Key.) When the database cannot be used the queue
/// still works, in memory only, until it is empty; the next enqueue then tries the database
/// again. GUI thread only; nothing here waits for the network.
///
/// Delivery runs on the transport's thread, one request at a time, in queue order, each with
/// its own "Idempotency-Key" and its owner's token; only reports of an employee and job signed
/// in during this run go out. The answer decides (TimeClockWire::deliveryOf): a delivered report
/// leaves the queue; one refused for good is set aside in the database with the answer and
/// counted, and the reports behind it go on; any other failure holds the owner's later reports
/// back until the next flush, so that none overtakes it, while other owners' go on; a 401 drops
/// the owner's token and asks once for a new one. A 429 or 503 with "Retry-After" holds every
/// delivery back for that long.
///
/// The database is open only while something waits in it: it is opened at start-up when its file
/// exists, and at the first enqueue otherwise, and once the queue is empty it is closed, and its
/// file deleted when nothing was set aside. Most runs never load SQLite but for a moment.
class OfflineQueue final : public QObject {
    Q_OBJECT

public:
    /// \a databasePath: the SQLite file, created when a request is first queued (see
    /// defaultDatabasePath()). \a wall reads the dates of "Retry-After".
    OfflineQueue(SyncState& sync, JsonTransport& transport, const WallClock& wall,
                 const QString& databasePath);
    ~OfflineQueue() override;
    OfflineQueue(const OfflineQueue&) = delete;
    OfflineQueue& operator=(const OfflineQueue&) = delete;

    /// "offline-queue.sqlite3" in the user's application data folder.
    static QString defaultDatabasePath();

    /// Commits one request to the queue; a missing or empty method or path becomes "GET" or
    /// "/", a missing body {}, a missing key a fresh UUID. While online it goes out at once
    /// unless reports ahead of it wait.
    void enqueueRequestMethod(const std::optional<QString>& method, const std::optional<QString>& path,
                              const std::optional<QJsonObject>& body, const QByteArray& idempotencyKey = {});

    /// While online, gives every report held back by a failure its next try and delivers what
    /// can go. Returns at once.
    void flushPendingIfOnline();

    /// The reports still to deliver, the one in flight included.
    const QList<QueuedRequest>& pendingQueue() const { return queue; }

    /// Told the number of reports set aside during this run; none until the window exists.
    void setRefusedView(RefusedReportsView* view) { refusedView = view; }
    /// Runs when a report's token was refused (401) and no new one was asked for since; the
    /// owner's reports wait until it is back in SyncState::tokens and the queue is flushed.
    std::function<void(const ReportOwner&)> onUnauthorized;

private:
    void openDatabase();
    void releaseDatabaseIfEmpty();
    void deliverNext();
    void answered(const QueuedRequest& request, const JsonReply& reply);
    void forget(const QueuedRequest& request);

    SyncState& sync;
    JsonTransport& transport;
    const WallClock& wall;
    QString databasePath;
    /// Null while nothing is queued; then queue is empty too.
    std::unique_ptr<QueueDatabase> database;
    QList<QueuedRequest> queue;
    /// Stands for a request held in memory only; counts down so it never meets a database row id.
    qint64 nextMemoryId = -1;
    /// A request is with the transport; its answer has not come back yet.
    bool sending = false;
    /// Owners whose oldest report failed since the last flush.
    std::set<ReportOwner> heldBack;
    /// Owners asked to sign in again since their last delivery: a second 401 asks no more.
    std::set<ReportOwner> reverified;
    /// Runs while a "Retry-After" holds deliveries back.
    QTimer retryHold;
    int refused = 0;
    RefusedReportsView* refusedView = nullptr;
};
