#pragma once

#include <QDateTime>
#include <QtGlobal>

#include <optional>

/// The reports a work session makes to the time-tracking service. Each call returns once the
/// report has been delivered, queued for later or given up; the session never looks at the
/// outcome. An absent instant means "now".
class EventReports {
public:
    virtual ~EventReports() = default;
    virtual void apiClockInAt(const std::optional<QDateTime>& at) = 0;
    virtual void apiClockOutAt(const std::optional<QDateTime>& at) = 0;
    virtual void apiBreakStartAt(const std::optional<QDateTime>& at) = 0;
    virtual void apiBreakStopAt(const std::optional<QDateTime>& at) = 0;
    virtual void apiTrackInputsFrom(const std::optional<QDateTime>& from, const std::optional<QDateTime>& to,
                                    qint64 keystrokes, qint64 clicks) = 0;
};
