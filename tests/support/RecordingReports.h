#pragma once

#include "EventReports.h"
#include "QtPrinters.h"

#include <QString>

#include <optional>
#include <vector>

/// Remembers every report a session makes, in order.
class RecordingReports final : public EventReports {
public:
    struct Report {
        QString kind; // "clockIn", "clockOut", "breakStart", "breakStop", "inputs"
        std::optional<QDateTime> at;
        std::optional<QDateTime> to; // inputs only
        qint64 keystrokes = 0;
        qint64 clicks = 0;
    };

    void apiClockInAt(const std::optional<QDateTime>& at) override;
    void apiClockOutAt(const std::optional<QDateTime>& at) override;
    void apiBreakStartAt(const std::optional<QDateTime>& at) override;
    void apiBreakStopAt(const std::optional<QDateTime>& at) override;
    void apiTrackInputsFrom(const std::optional<QDateTime>& from, const std::optional<QDateTime>& to,
                            qint64 keystrokes, qint64 clicks) override;

    QStringList kinds() const;

    std::vector<Report> reports;
};
