#pragma once

#include <QByteArray>
#include <QString>

#include <map>
#include <optional>
#include <utility>

/// The employee and job a report speaks for: (employee ID, job ID).
using ReportOwner = std::pair<QString, QString>;

/// Who is signed in and whether the service is reachable: read by every report and request,
/// written by sign-in and by the connectivity monitor. Owned by AppDelegate; GUI thread only.
struct SyncState {
    /// Absent until sign-in; an absent value is sent as "".
    std::optional<QString> employeeId;
    QString jobId;
    /// The last reachability poll; true from launch until the first poll.
    bool isOnline = true;
    /// The token of every employee and job signed in during this run, as the service gave it at
    /// the verification (empty when it gave none). Kept in memory only, never written anywhere:
    /// reports of an owner without one wait until that owner signs in again.
    std::map<ReportOwner, QByteArray> tokens;

    /// The signed-in employee's and job's token; empty when there is none.
    QByteArray token() const {
        const auto found = tokens.find({employeeId.value_or(QString()), jobId});
        return found == tokens.end() ? QByteArray() : found->second;
    }
};
