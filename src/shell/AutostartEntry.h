#pragma once

#include <QByteArray>
#include <QString>

/// The desktop entry that starts the program when the user logs in:
/// $XDG_CONFIG_HOME/autostart/com.corlune.Track.desktop (~/.config when the variable is unset),
/// as every desktop that follows the XDG autostart rules reads it.
namespace AutostartEntry {

QString path();
bool isEnabled();
/// Writes the entry for \a program, or removes it; false when the file could not be written or
/// removed, and the entry is then as it was.
bool setEnabled(bool enabled, const QString& program);
/// The entry's text for the executable at \a program, quoted as the Exec key needs.
QByteArray contents(const QString& program);

} // namespace AutostartEntry
