#pragma once

#include "EventReports.h"
#include "FakeClocks.h"

#include <QStringList>

/// Writes each report as one entry of `log`, its instants in seconds after `origin`, the fake wall
/// clock's start: "clockIn@0", "breakStart@10.6", "inputs@0-10.6:5/2" (from-to:keys/clicks).
class RecordingReports final : public EventReports {
public:
    void apiClockInAt(const std::optional<QDateTime>& at) override { log.append("clockIn@" + offset(at)); }
    void apiClockOutAt(const std::optional<QDateTime>& at) override { log.append("clockOut@" + offset(at)); }
    void apiBreakStartAt(const std::optional<QDateTime>& at) override {
        log.append("breakStart@" + offset(at));
    }
    void apiBreakStopAt(const std::optional<QDateTime>& at) override {
        log.append("breakStop@" + offset(at));
    }
    void apiTrackInputsFrom(const std::optional<QDateTime>& from, const std::optional<QDateTime>& to,
                            qint64 keystrokes, qint64 clicks) override {
        log.append(
            QStringLiteral("inputs@%1-%2:%3/%4").arg(offset(from), offset(to)).arg(keystrokes).arg(clicks));
    }

    QDateTime origin = FakeWallClock().instant;
    QStringList log;

private:
    QString offset(const std::optional<QDateTime>& at) const {
        return at ? QString::number(origin.msecsTo(*at) / 1000.0, 'g', 12) : QStringLiteral("none");
    }
};
