#include "OfflineQueue.h"

#include "JsonTransport.h"
#include "QueueDatabase.h"
#include "RefusedReportsView.h"
#include "SyncState.h"
#include "TimeClockWire.h"
#include "WallClock.h"

#include <QStandardPaths>
#include <QUuid>

#include <algorithm>

using TimeClockWire::Delivery;

OfflineQueue::OfflineQueue(SyncState& sync, JsonTransport& transport, const WallClock& wall,
                           const QString& databasePath)
    : sync(sync)
    , transport(transport)
    , wall(wall)
    , databasePath(databasePath) {
    retryHold.setSingleShot(true);
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
    deliverNext();
}

void OfflineQueue::flushPendingIfOnline() {
    if (!sync.isOnline)
        return;
    heldBack.clear();
    deliverNext();
}

void OfflineQueue::deliverNext() {
    if (sending || !sync.isOnline || retryHold.isActive())
        return;
    const auto next = std::find_if(queue.cbegin(), queue.cend(), [this](const QueuedRequest& request) {
        return sync.tokens.contains(request.owner()) && !heldBack.contains(request.owner());
    });
    if (next == queue.cend()) {
        releaseDatabaseIfEmpty();
        return;
    }
    sending = true;
    const QueuedRequest request = *next;
    transport.sendAsync(request.method, request.path, QJsonValue(request.body), this,
                        [this, request](const JsonReply& reply) {
                            sending = false;
                            answered(request, reply);
                            deliverNext();
                        },
                        {request.idempotencyKey, sync.tokens.at(request.owner())});
}

void OfflineQueue::answered(const QueuedRequest& request, const JsonReply& reply) {
    const ReportOwner owner = request.owner();
    switch (TimeClockWire::deliveryOf(reply)) {
    case Delivery::Delivered:
        reverified.erase(owner);
        if (database)
            database->remove(request.rowId);
        forget(request);
        return;
    case Delivery::Refused:
        // Kept for whoever looks into it, never sent again by itself: a resend is refused too.
        if (database)
            database->setAside(request.rowId, reply.status, reply.excerpt);
        forget(request);
        if (refusedView)
            refusedView->setRefusedReportCount(++refused);
        return;
    case Delivery::Unauthorized:
        sync.tokens.erase(owner);
        if (reverified.insert(owner).second && onUnauthorized)
            onUnauthorized(owner);
        return;
    case Delivery::TryLater:
        heldBack.insert(owner);
        if (const std::optional<std::chrono::seconds> wait = TimeClockWire::retryAfter(reply, wall.now()))
            retryHold.start(*wait);
        return;
    }
}

void OfflineQueue::forget(const QueuedRequest& request) {
    queue.removeIf([&](const QueuedRequest& queued) { return queued.rowId == request.rowId; });
}
