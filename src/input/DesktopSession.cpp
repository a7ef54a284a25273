#include "DesktopSession.h"

#include <QGuiApplication>

DesktopSession::DesktopSession(const QString& platformName, const QByteArray& sessionType,
                               const QByteArray& waylandDisplay) {
    const bool waylandPlatform = platformName.startsWith(QLatin1String("wayland"));
    const bool waylandSession =
        sessionType.isEmpty() ? !waylandDisplay.isEmpty() : sessionType == QByteArrayLiteral("wayland");
    wayland = waylandPlatform || waylandSession;
    x11 = !wayland && platformName == QLatin1String("xcb");
}

DesktopSession DesktopSession::current() {
    return DesktopSession(QGuiApplication::platformName(), qgetenv("XDG_SESSION_TYPE"),
                          qgetenv("WAYLAND_DISPLAY"));
}
