#include "SessionTexts.h"

#include <cstdio>

namespace SessionTexts {

QString durationText(qint64 seconds) {
    if (seconds < 0)
        seconds = 0;
    const long long s = seconds;
    char text[64];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", s / 3600, (s % 3600) / 60, s % 60);
    return QString::fromLatin1(text).left(15);
}

QString workText(qint64 workSeconds) {
    return QStringLiteral("Work: ") + durationText(workSeconds);
}

QString breaksText(qint64 breakCount, qint64 totalBreakSeconds) {
    return QStringLiteral("Breaks: %1 (%2)").arg(breakCount).arg(durationText(totalBreakSeconds));
}

QString inputsText(qint64 keyCount, qint64 clickCount) {
    return QStringLiteral("Inputs: Keys %1, Clicks %2").arg(keyCount).arg(clickCount);
}

StatusRow statusRow(qint64 mode, bool autoPaused) {
    const QString clockOut = QStringLiteral("Clock Out");
    if (mode == 1)
        return {autoPaused ? QStringLiteral("Status: Auto-paused") : QStringLiteral("Status: Working"),
                clockOut, true, QStringLiteral("Pause")};
    if (mode == 2)
        return {autoPaused ? QStringLiteral("Status: Auto-paused") : QStringLiteral("Status: Paused"),
                clockOut, true, QStringLiteral("Resume")};
    return {QStringLiteral("Status: Clocked out"), QStringLiteral("Clock In"), false, std::nullopt};
}

Activity activity(qint64 mode, bool autoPaused) {
    if (mode == 0)
        return Activity::ClockedOut;
    if (autoPaused)
        return Activity::AutoPaused;
    return mode == 1 ? Activity::Working : Activity::Paused;
}

QString trayToolTip(qint64 mode, bool autoPaused, qint64 workSeconds) {
    static const QString prefix = QStringLiteral("Status: ");
    return statusRow(mode, autoPaused).status.mid(prefix.size()) + QStringLiteral(" \u2014 ") +
           durationText(workSeconds);
}

} // namespace SessionTexts
