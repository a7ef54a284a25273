#pragma once

#include <QByteArray>
#include <QString>

/// The kind of desktop the program runs on, which decides the idle and input backends. A Qt
/// program can run on X11 (platform "xcb") inside a Wayland session through XWayland; the X
/// server then sees only X clients' input, so such a session counts as Wayland.
class DesktopSession {
public:
    /// \a sessionType is $XDG_SESSION_TYPE; \a waylandDisplay is $WAYLAND_DISPLAY, which
    /// decides only when the session type is not set.
    DesktopSession(const QString& platformName, const QByteArray& sessionType,
                   const QByteArray& waylandDisplay);

    /// The running application's session; needs a QGuiApplication.
    static DesktopSession current();

    bool isWayland() const { return wayland; }
    /// An X11 session with the program on X11: the X server sees the whole desktop's input.
    bool isX11() const { return x11; }

private:
    bool wayland = false;
    bool x11 = false;
};
