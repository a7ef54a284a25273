#include "AutostartEntry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>

namespace AutostartEntry {

namespace {

// The Exec key's own quoting, then the escaping every string value of a desktop entry gets.
QString execValue(const QString& program) {
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    QString argument = program;
    argument.replace(QLatin1Char('%'), QLatin1String("%%"));
    if (std::any_of(argument.begin(), argument.end(), [](QChar c) { return reserved.contains(c); })) {
        QString quoted;
        for (const QChar c : argument) {
            if (QStringLiteral("\"`$\\").contains(c))
                quoted += QLatin1Char('\\');
            quoted += c;
        }
        argument = QLatin1Char('"') + quoted + QLatin1Char('"');
    }
    return argument.replace(QLatin1Char('\\'), QLatin1String("\\\\"))
        .replace(QLatin1Char('\n'), QLatin1String("\\n"));
}

} // namespace

QString path() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart/com.corlune.Track.desktop");
}

bool isEnabled() {
    return QFileInfo::exists(path());
}

QByteArray contents(const QString& program) {
    return QByteArrayLiteral("[Desktop Entry]\n"
                             "Type=Application\n"
                             "Name=Corlune Track\n"
                             "Comment=Clock in and out, track breaks and activity for your job\n"
                             "Exec=") +
           execValue(program).toUtf8() +
           QByteArrayLiteral("\n"
                             "Icon=com.corlune.Track\n"
                             "Terminal=false\n"
                             "X-GNOME-Autostart-enabled=true\n");
}

bool setEnabled(bool enabled, const QString& program) {
    const QString file = path();
    if (!enabled)
        return !QFileInfo::exists(file) || QFile::remove(file);
    if (!QDir().mkpath(QFileInfo(file).absolutePath()))
        return false;
    // Written whole or not at all: a half-written entry would start nothing, or something else.
    QSaveFile entry(file);
    return entry.open(QIODevice::WriteOnly) && entry.write(contents(program)) >= 0 && entry.commit();
}

} // namespace AutostartEntry
