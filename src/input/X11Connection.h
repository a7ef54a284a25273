#pragma once

#include <QByteArray>

struct _XDisplay; // Xlib's Display; its headers stay out of ours (they define None, Bool, KeyPress...)

/// An Xlib connection of our own to the X server, never Qt's. Xlib ends the process when a
/// connection breaks; for these connections it does not: the connection is marked lost and its
/// owner reports itself unavailable from then on. Opened and used on the GUI thread only.
class X11Connection {
public:
    /// Connects to \a displayName, or to $DISPLAY when it is empty.
    explicit X11Connection(const QByteArray& displayName = {});
    ~X11Connection();
    X11Connection(const X11Connection&) = delete;
    X11Connection& operator=(const X11Connection&) = delete;

    /// The display Qt itself is connected to (it may come from -display rather than $DISPLAY);
    /// empty when Qt is not on X11.
    static QByteArray qtDisplayName();

    /// Null when the server could not be reached.
    _XDisplay* display() const { return dpy; }
    /// Connected and not lost since.
    bool isUsable() const { return dpy != nullptr && !lost; }
    bool isLost() const { return lost; }

private:
    static void onConnectionLost(_XDisplay* display, void* self);

    _XDisplay* dpy = nullptr;
    bool lost = false;
};
