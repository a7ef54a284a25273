#include "X11Connection.h"

#include <QGuiApplication>

#include <algorithm>
#include <mutex>
#include <vector>

#include <X11/Xlib.h>

namespace {

// Xlib's I/O error and protocol error handlers are process-wide. Ours answer for our own
// connections and hand every other connection (Qt's among them) to the handler that was there
// before, so the rest of the process behaves as it did.
std::mutex registryMutex;
std::vector<Display*> ourDisplays;
XIOErrorHandler previousIOErrorHandler = nullptr;
XErrorHandler previousErrorHandler = nullptr;

bool isOurs(Display* display) {
    const std::lock_guard lock(registryMutex);
    return std::find(ourDisplays.begin(), ourDisplays.end(), display) != ourDisplays.end();
}

int onIOError(Display* display) {
    // Xlib's default handler calls exit(); returning lets Xlib go on to the per-display exit
    // handler, which for our connections only marks them lost.
    if (isOurs(display))
        return 0;
    return previousIOErrorHandler ? previousIOErrorHandler(display) : 0;
}

int onProtocolError(Display* display, XErrorEvent* error) {
    // A failed request of ours answers its caller with a failure status; the default handler
    // would end the process instead.
    if (isOurs(display))
        return 0;
    return previousErrorHandler ? previousErrorHandler(display, error) : 0;
}

void installHandlersOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        previousIOErrorHandler = XSetIOErrorHandler(onIOError);
        previousErrorHandler = XSetErrorHandler(onProtocolError);
    });
}

} // namespace

QByteArray X11Connection::qtDisplayName() {
    const auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display* qtDisplay = x11 ? x11->display() : nullptr;
    return qtDisplay ? QByteArray(DisplayString(qtDisplay)) : QByteArray();
}

X11Connection::X11Connection(const QByteArray& displayName) {
    installHandlersOnce();
    dpy = XOpenDisplay(displayName.isEmpty() ? nullptr : displayName.constData());
    if (!dpy)
        return;
    {
        const std::lock_guard lock(registryMutex);
        ourDisplays.push_back(dpy);
    }
    XSetIOErrorExitHandler(dpy, &X11Connection::onConnectionLost, this);
}

X11Connection::~X11Connection() {
    if (!dpy)
        return;
    // libX11 1.8 closes a connection marked broken without touching the socket again.
    XCloseDisplay(dpy);
    const std::lock_guard lock(registryMutex);
    ourDisplays.erase(std::remove(ourDisplays.begin(), ourDisplays.end(), dpy), ourDisplays.end());
}

void X11Connection::onConnectionLost(_XDisplay*, void* self) {
    static_cast<X11Connection*>(self)->lost = true;
}
