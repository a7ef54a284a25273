#include "OfflineQueue.h"

#include "JsonTransport.h"
#include "QueueDatabase.h"
#include "SyncState.h"

#include <QStandardPaths>
#include <QUuid>

OfflineQueue::OfflineQueue(SyncState& sync, JsonTransport& transport, const QString& databasePath)
    : sync(sync)
    , transport(transport)
    , databasePath(databasePath) {
    if (QueueDatabase::existsAt(databasePath)) {
        openDatabase();
        releaseDatabaseIfEmpty();
    }
}

void OfflineQueue::openDatabase() {
    database = std::make_unique<QueueDatabase>(databasePath);
    // The queue is empty whenever the database is closed, so what the file holds (another
    // instance may have queued since) comes first.
    queue = database->takeLoaded();
    for (QueuedRequest& request : queue) {
        if (request.rowId <= 0)
            request.rowId = nextMemoryId--;
    }
}

void OfflineQueue::releaseDatabaseIfEmpty() {
    if (!queue.isEmpty() || !database)
        return;
    database->closeRemovingIfEmpty();
    database.reset();
}

OfflineQueue::~OfflineQueue() = default;

QString OfflineQueue::defaultDatabasePath() {
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) +
           QStringLiteral("/offline-queue.sqlite3");
}

void OfflineQueue::enqueueRequestMethod(const std::optional<QString>& method,
                                        const std::optional<QString>& path,
                                        const std::optional<QJsonObject>& body,
                                        const QByteArray& idempotencyKey) {
    QueuedRequest request;
    // An empty text counts as none: it could never be sent.
    if (method && !method->isEmpty())
        request.method = *method;
    if (path && !path->isEmpty())
        request.path = *path;
    if (body)
        request.body = *body;
    request.idempotencyKey =
        idempotencyKey.isEmpty() ? QUuid::createUuid().toByteArray(QUuid::WithoutBraces) : idempotencyKey;
    if (!database)
        openDatabase();
    // A failed write still keeps the request for this run: late is better than lost.
    request.rowId = database->insert(request).value_or(nextMemoryId--);
    queue.append(request);
}

void OfflineQueue::flushPendingIfOnline() {
    if (!sync.isOnline || queue.isEmpty())
        return;
    // The flush works through what was queued when it began. Requests are taken out one by one
    // by id, so whatever is appended meanwhile stays, behind the ones that remain.
    const QList<QueuedRequest> attempt = queue;
    for (const QueuedRequest& request : attempt) {
        const JsonReply reply = transport.sendJSONRequestMethod(
            request.method, request.path, QJsonValue(request.body), request.idempotencyKey);
        if (!isSuccessStatus(reply.status))
            continue;
        database->remove(request.rowId);
        queue.removeIf([&](const QueuedRequest& queued) { return queued.rowId == request.rowId; });
    }
    releaseDatabaseIfEmpty();
}
