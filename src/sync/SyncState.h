#pragma once

#include <QString>

#include <optional>

/// Who is signed in and whether the service is reachable: read by every report and request,
/// written by sign-in and by the connectivity monitor. Owned by AppDelegate; GUI thread only.
struct SyncState {
    /// Absent until sign-in; an absent value is sent as "".
    std::optional<QString> employeeId;
    QString jobId;
    /// The last reachability poll; true from launch until the first poll.
    bool isOnline = true;
};
