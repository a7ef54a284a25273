#include "XInput2GlobalMonitor.h"

#include "ModifierKeys.h"
#include "X11Connection.h"

#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <optional>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>

namespace {
// X buttons 4 to 7 are the steps of the vertical and horizontal wheels, not clicks.
constexpr int firstWheelButton = 4;
constexpr int lastWheelButton = 7;
} // namespace

class XInput2GlobalMonitor::Subscription final : public InputMonitor {
public:
    Subscription(XInput2GlobalMonitor* monitor, std::uint64_t id)
        : monitor(monitor)
        , id(id) {}
    ~Subscription() override {
        if (monitor)
            monitor->remove(id);
    }
    Subscription(const Subscription&) = delete;
    Subscription& operator=(const Subscription&) = delete;

private:
    QPointer<XInput2GlobalMonitor> monitor;
    std::uint64_t id = 0;
};

XInput2GlobalMonitor::XInput2GlobalMonitor(const QByteArray& displayName, QObject* parent)
    : QObject(parent)
    , connection(std::make_unique<X11Connection>(displayName)) {
    if (!connection->isUsable())
        return;
    Display* dpy = connection->display();
    int firstEvent = 0;
    int firstError = 0;
    if (!XQueryExtension(dpy, "XInputExtension", &xiOpcode, &firstEvent, &firstError))
        return;
    // Announcing 2.2 matters: the server sends a 2.0 client no raw events while another client
    // holds a grab (a menu, a drag).
    int major = 2;
    int minor = 2;
    if (XIQueryVersion(dpy, &major, &minor) != Success)
        return;
    hasXi22 = major > 2 || (major == 2 && minor >= 2);
    if (!hasXi22)
        return;
    notifier = new QSocketNotifier(ConnectionNumber(dpy), QSocketNotifier::Read, this);
    notifier->setEnabled(false);
    connect(notifier, &QSocketNotifier::activated, this, &XInput2GlobalMonitor::drain);
}

XInput2GlobalMonitor::~XInput2GlobalMonitor() {
    // The notifier must not outlive the descriptor it watches.
    delete notifier;
    notifier = nullptr;
}

bool XInput2GlobalMonitor::isAvailable() const {
    return hasXi22 && connection->isUsable();
}

std::unique_ptr<InputMonitor> XInput2GlobalMonitor::addKeyMonitor(std::function<void()> handler) {
    return add(Kind::Key, std::move(handler));
}

std::unique_ptr<InputMonitor> XInput2GlobalMonitor::addMouseMonitor(std::function<void()> handler) {
    return add(Kind::Mouse, std::move(handler));
}

std::unique_ptr<InputMonitor> XInput2GlobalMonitor::add(Kind kind, std::function<void()> handler) {
    if (!isAvailable() || !handler)
        return nullptr;
    const std::uint64_t id = nextId++;
    handlers.push_back({id, kind, std::move(handler), false});
    updateSelection();
    scheduleDrain();
    return std::make_unique<Subscription>(this, id);
}

void XInput2GlobalMonitor::remove(std::uint64_t id) {
    const auto it =
        std::find_if(handlers.begin(), handlers.end(), [id](const Handler& h) { return h.id == id; });
    if (it == handlers.end())
        return;
    // A handler that removes a monitor while events are being dispatched must not destroy the
    // function that is running; it is erased once the dispatch is over.
    if (dispatchDepth > 0)
        it->removed = true;
    else
        handlers.erase(it);
    updateSelection();
}

bool XInput2GlobalMonitor::wants(Kind kind) const {
    return std::any_of(handlers.begin(), handlers.end(),
                       [kind](const Handler& h) { return h.kind == kind && !h.removed; });
}

void XInput2GlobalMonitor::updateSelection() {
    if (!isAvailable())
        return;
    Display* dpy = connection->display();
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    if (wants(Kind::Key))
        XISetMask(bits, XI_RawKeyPress);
    if (wants(Kind::Mouse))
        XISetMask(bits, XI_RawButtonPress);
    // Master devices only: with XIAllDevices every press arrives twice, from the physical
    // (slave) device and again from the master it is attached to.
    XIEventMask mask{XIAllMasterDevices, static_cast<int>(sizeof bits), bits};
    XISelectEvents(dpy, DefaultRootWindow(dpy), &mask, 1);
    XFlush(dpy);
    notifier->setEnabled(wants(Kind::Key) || wants(Kind::Mouse));
}

void XInput2GlobalMonitor::scheduleDrain() {
    // Events that a round trip already pulled into Xlib's queue leave the socket unreadable,
    // so the notifier alone would not report them.
    QTimer::singleShot(0, this, &XInput2GlobalMonitor::drain);
}

void XInput2GlobalMonitor::processPendingEvents() {
    if (!isAvailable())
        return;
    XSync(connection->display(), False);
    drain();
}

void XInput2GlobalMonitor::drain() {
    const QPointer<XInput2GlobalMonitor> self(this);
    Display* dpy = connection->display();
    while (self && connection->isUsable() && XPending(dpy) > 0) {
        XEvent event;
        XNextEvent(dpy, &event);
        if (event.type == MappingNotify) {
            XRefreshKeyboardMapping(&event.xmapping);
            continue;
        }
        XGenericEventCookie& cookie = event.xcookie;
        if (cookie.type != GenericEvent || cookie.extension != xiOpcode || !XGetEventData(dpy, &cookie))
            continue;
        std::optional<Kind> press;
        const auto* raw = static_cast<const XIRawEvent*>(cookie.data);
        if (cookie.evtype == XI_RawKeyPress && !(raw->flags & XIKeyRepeat)) {
            const KeySym keysym = XkbKeycodeToKeysym(dpy, static_cast<KeyCode>(raw->detail), 0, 0);
            if (!ModifierKeys::isModifierKeysym(static_cast<quint32>(keysym)))
                press = Kind::Key;
        } else if (cookie.evtype == XI_RawButtonPress) {
            if (raw->detail < firstWheelButton || raw->detail > lastWheelButton)
                press = Kind::Mouse;
        }
        XFreeEventData(dpy, &cookie);
        if (press)
            dispatch(*press);
    }
    if (self && !connection->isUsable() && notifier)
        notifier->setEnabled(false);
}

void XInput2GlobalMonitor::dispatch(Kind kind) {
    const QPointer<XInput2GlobalMonitor> self(this);
    ++dispatchDepth;
    // By index, over the handlers there were: a handler may add monitors, which can move the
    // vector's storage, and a monitor added now starts with the next press.
    const std::size_t count = handlers.size();
    for (std::size_t i = 0; i < count; ++i) {
        if (handlers[i].kind != kind || handlers[i].removed)
            continue;
        handlers[i].call();
        if (!self)
            return;
    }
    if (--dispatchDepth == 0)
        std::erase_if(handlers, [](const Handler& h) { return h.removed; });
}
