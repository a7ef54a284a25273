#pragma once

#include "SyncState.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QtGlobal>

/// One report waiting for the service, exactly as it will be sent: the body was built, and its
/// instants formatted, when the event happened.
struct QueuedRequest {
    QString method = QStringLiteral("GET");
    QString path = QStringLiteral("/");
    QJsonObject body;
    /// Sent as "Idempotency-Key" on every attempt, so that the service can drop a repeat.
    QByteArray idempotencyKey;
    /// Positive: its row in the queue database. Zero or negative: held in memory only (the queue
    /// numbers such requests downwards from -1 to tell them apart).
    qint64 rowId = 0;

    /// Whose report it is, by the "employeeId" and "jobId" the program put into every body.
    ReportOwner owner() const {
        return {body.value(QStringLiteral("employeeId")).toString(),
                body.value(QStringLiteral("jobId")).toString()};
    }
};
