#include "RecordingReports.h"

#include <QStringList>

void RecordingReports::apiClockInAt(const std::optional<QDateTime>& at) {
    reports.push_back({QStringLiteral("clockIn"), at, {}, 0, 0});
}

void RecordingReports::apiClockOutAt(const std::optional<QDateTime>& at) {
    reports.push_back({QStringLiteral("clockOut"), at, {}, 0, 0});
}

void RecordingReports::apiBreakStartAt(const std::optional<QDateTime>& at) {
    reports.push_back({QStringLiteral("breakStart"), at, {}, 0, 0});
}

void RecordingReports::apiBreakStopAt(const std::optional<QDateTime>& at) {
    reports.push_back({QStringLiteral("breakStop"), at, {}, 0, 0});
}

void RecordingReports::apiTrackInputsFrom(const std::optional<QDateTime>& from,
                                          const std::optional<QDateTime>& to, qint64 keystrokes,
                                          qint64 clicks) {
    reports.push_back({QStringLiteral("inputs"), from, to, keystrokes, clicks});
}

QStringList RecordingReports::kinds() const {
    QStringList out;
    for (const Report& r : reports)
        out.append(r.kind);
    return out;
}
