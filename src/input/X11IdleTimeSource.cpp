#include "X11IdleTimeSource.h"

#include "X11Connection.h"

#include <cstdint>
#include <cstring>

#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>
#include <X11/extensions/sync.h>

namespace {
constexpr double msPerSecond = 1000.0;
}

X11IdleTimeSource::X11IdleTimeSource(const QByteArray& displayName, Method preferred)
    : connection(std::make_unique<X11Connection>(displayName)) {
    if (!connection->isUsable())
        return;
    if (preferred == Method::SyncIdleCounter && findIdleCounter())
        active = Method::SyncIdleCounter;
    else if (preferred != Method::Unavailable && hasScreenSaverInfo())
        active = Method::ScreenSaverInfo;
}

X11IdleTimeSource::~X11IdleTimeSource() = default;

bool X11IdleTimeSource::findIdleCounter() {
    Display* dpy = connection->display();
    int eventBase = 0;
    int errorBase = 0;
    int major = 0;
    int minor = 0;
    if (!XSyncQueryExtension(dpy, &eventBase, &errorBase) || !XSyncInitialize(dpy, &major, &minor))
        return false;
    int count = 0;
    XSyncSystemCounter* counters = XSyncListSystemCounters(dpy, &count);
    for (int i = 0; i < count; ++i) {
        if (std::strcmp(counters[i].name, "IDLETIME") == 0)
            idleCounter = counters[i].counter;
    }
    if (counters)
        XSyncFreeSystemCounterList(counters);
    return idleCounter != 0;
}

bool X11IdleTimeSource::hasScreenSaverInfo() {
    int eventBase = 0;
    int errorBase = 0;
    return XScreenSaverQueryExtension(connection->display(), &eventBase, &errorBase);
}

double X11IdleTimeSource::secondsSinceLastInput() {
    if (!isAvailable())
        return 0.0;
    Display* dpy = connection->display();
    double seconds = 0.0;
    if (active == Method::SyncIdleCounter) {
        XSyncValue value;
        if (XSyncQueryCounter(dpy, idleCounter, &value)) {
            // The counter is a 64-bit count of milliseconds, split into two 32-bit halves.
            const auto ms = (static_cast<std::int64_t>(XSyncValueHigh32(value)) << 32) |
                            static_cast<std::int64_t>(XSyncValueLow32(value));
            seconds = static_cast<double>(ms) / msPerSecond;
        }
    } else {
        XScreenSaverInfo info{};
        if (XScreenSaverQueryInfo(dpy, DefaultRootWindow(dpy), &info))
            seconds = static_cast<double>(info.idle) / msPerSecond;
    }
    discardQueuedEvents();
    return isAvailable() ? seconds : 0.0;
}

void X11IdleTimeSource::discardQueuedEvents() {
    // The server sends every client MappingNotify; nothing here reads events, so drop what the
    // round trip queued instead of letting the queue grow. QueuedAlready costs no system call.
    if (!connection->isUsable())
        return;
    Display* dpy = connection->display();
    while (XEventsQueued(dpy, QueuedAlready) > 0) {
        XEvent event;
        XNextEvent(dpy, &event);
    }
}

bool X11IdleTimeSource::isAvailable() const {
    return active != Method::Unavailable && connection->isUsable();
}

X11IdleTimeSource::Method X11IdleTimeSource::method() const {
    return isAvailable() ? active : Method::Unavailable;
}
