#pragma once

#include "QueuedRequest.h"

#include <QJsonObject>
#include <QList>
#include <QString>

#include <memory>
#include <optional>

class JsonTransport;
class QueueDatabase;
struct SyncState;

/// The reports that wait for the service, oldest first. Durable: every enqueue is on the disk
/// before it returns and every delivery is removed from the queue database as the flush goes,
/// so what is queued survives quitting, a killed process and a power loss, and is sent by the
/// first flush of a later launch. (A power loss may bring back a few delivered requests; they are
/// sent again under their own Idempotency-Key.) When the database cannot be used the queue
/// still works, in memory only, until a flush has emptied it; the next enqueue then tries the
/// database again. GUI thread only.
///
/// The database is open only while something waits in it: it is opened at start-up when its file
/// exists, and at the first enqueue otherwise, and once a flush has emptied the queue it is
/// closed and its file deleted. Most runs never go offline and never load SQLite at all.
class OfflineQueue {
public:
    /// \a databasePath: the SQLite file, created when a request is first queued (see
    /// defaultDatabasePath()).
    OfflineQueue(SyncState& sync, JsonTransport& transport, const QString& databasePath);
    ~OfflineQueue();
    OfflineQueue(const OfflineQueue&) = delete;
    OfflineQueue& operator=(const OfflineQueue&) = delete;

    /// "offline-queue.sqlite3" in the user's application data folder.
    static QString defaultDatabasePath();

    /// Appends one request; a missing or empty method or path becomes "GET" or "/", a missing
    /// body {}, a missing key a fresh UUID. Never sends, whatever the connectivity.
    void enqueueRequestMethod(const std::optional<QString>& method, const std::optional<QString>& path,
                              const std::optional<QJsonObject>& body, const QByteArray& idempotencyKey = {});

    /// While online, tries every queued request once, oldest first, each with its own
    /// "Idempotency-Key"; a 2xx answer removes it, anything else keeps it in place for the next
    /// flush. Blocks for up to 15 s per request.
    void flushPendingIfOnline();

    const QList<QueuedRequest>& pendingQueue() const { return queue; }

private:
    void openDatabase();
    void releaseDatabaseIfEmpty();

    SyncState& sync;
    JsonTransport& transport;
    QString databasePath;
    /// Null while nothing is queued; then queue is empty too.
    std::unique_ptr<QueueDatabase> database;
    QList<QueuedRequest> queue;
    /// Stands for a request held in memory only; counts down so it never meets a database row id.
    qint64 nextMemoryId = -1;
};
