#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

/// The texts of the status display, as pure functions of the session state.
namespace SessionTexts {

/// "%02lld:%02lld:%02lld" of hours, minutes and seconds; hours are not wrapped at 24 and the
/// text is cut at 15 characters. Negative input is shown as 0.
QString durationText(qint64 seconds);

QString workText(qint64 workSeconds);
QString breaksText(qint64 breakCount, qint64 totalBreakSeconds);
QString inputsText(qint64 keyCount, qint64 clickCount);

/// The status line and session buttons for one mode (0 clocked out, 1 working, 2 paused).
struct StatusRow {
    QString status;
    QString clockTitle;
    bool pauseEnabled = false;
    /// Absent when the pause button keeps whatever title it had.
    std::optional<QString> pauseTitle;

    bool operator==(const StatusRow&) const = default;
};
StatusRow statusRow(qint64 mode, bool autoPaused);

/// What the session is doing, as the tray's icon shows it; it follows the status line.
enum class Activity { ClockedOut, Working, Paused, AutoPaused };
Activity activity(qint64 mode, bool autoPaused);

/// The tray icon's tooltip: the status and the work time, "Working — 01:23:45".
QString trayToolTip(qint64 mode, bool autoPaused, qint64 workSeconds);

} // namespace SessionTexts
