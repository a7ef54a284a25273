#include "XInput2GlobalMonitor.h"

#include "ModifierKeys.h"
#include "XcbRequests.h"

#include <QCoreApplication>
#include <QPointer>

#include <algorithm>
#include <optional>

namespace {

// XInput 2's binding, libxcb-xinput, is not loaded by Qt (its xcb plugin carries its own copy), so
// the two requests below are sent as the protocol lays them out. Values from the protocol headers
// X11/extensions/XI2.h, XI2proto.h and XKB.h, kept here so that this file needs only xcb's.
xcb_extension_t xinputExtension{"XInputExtension", 0};
xcb_extension_t xkbExtension{"XKEYBOARD", 0};
constexpr std::uint8_t xiSelectEvents = 46;    // X_XISelectEvents
constexpr std::uint8_t xiQueryVersion = 47;    // X_XIQueryVersion
constexpr std::uint16_t xiRawKeyPress = 13;    // XI_RawKeyPress
constexpr std::uint16_t xiRawButtonPress = 15; // XI_RawButtonPress
constexpr std::uint16_t xiAllMasterDevices = 1;
constexpr std::uint32_t xiKeyRepeat = 1u << 16;  // XIKeyRepeat, in a raw key event's flags
constexpr std::uint8_t xkbNewKeyboardNotify = 0; // XkbNewKeyboardNotify, an XKB event's second byte
constexpr std::uint8_t xkbMapNotify = 1;         // XkbMapNotify

// X buttons 4 to 7 are the steps of the vertical and horizontal wheels, not clicks.
constexpr std::uint32_t firstWheelButton = 4;
constexpr std::uint32_t lastWheelButton = 7;

struct XIQueryVersionRequest {
    std::uint8_t majorOpcode = 0; // this and the next two are filled in by libxcb
    std::uint8_t minorOpcode = 0;
    std::uint16_t length = 0;
    std::uint16_t majorVersion = 0;
    std::uint16_t minorVersion = 0;
};
static_assert(sizeof(XIQueryVersionRequest) == 8);

struct XIQueryVersionReply {
    std::uint8_t responseType;
    std::uint8_t pad0;
    std::uint16_t sequence;
    std::uint32_t length;
    std::uint16_t majorVersion;
    std::uint16_t minorVersion;
    std::uint8_t pad1[20];
};
static_assert(sizeof(XIQueryVersionReply) == 32);

// XISelectEvents with one event mask of one four-byte unit, which holds every raw press bit.
// Master devices only: with all devices every press arrives twice, from the physical (slave)
// device and again from the master it is attached to.
struct XISelectEventsRequest {
    std::uint8_t majorOpcode = 0;
    std::uint8_t minorOpcode = 0;
    std::uint16_t length = 0;
    std::uint32_t window = 0;
    std::uint16_t maskCount = 1;
    std::uint16_t pad0 = 0;
    std::uint16_t deviceId = xiAllMasterDevices;
    std::uint16_t maskUnits = 1;
    std::uint8_t mask[4] = {}; // bit n of the mask is bit n % 8 of byte n / 8, whatever the byte order
};
static_assert(sizeof(XISelectEventsRequest) == 20);

// The fixed part of a raw event, which libxcb hands over as an xcb_ge_generic_event_t.
struct XIRawEvent {
    std::uint8_t responseType; // XCB_GE_GENERIC
    std::uint8_t extension;    // XInput's major opcode
    std::uint16_t sequence;
    std::uint32_t length;
    std::uint16_t eventType;
    std::uint16_t deviceId;
    std::uint32_t time;
    std::uint32_t detail; // the keycode or the button
    std::uint16_t sourceId;
    std::uint16_t valuatorUnits;
    std::uint32_t flags;
    std::uint32_t pad0;
};
static_assert(sizeof(XIRawEvent) == 32);

struct XkbAnyEvent {
    std::uint8_t responseType;
    std::uint8_t xkbType;
};

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

XInput2GlobalMonitor::XInput2GlobalMonitor(xcb_connection_t* connection, QObject* parent)
    : QObject(parent)
    , connection(connection) {
    const xcb_query_extension_reply_t* xinput = XcbRequests::presentExtension(connection, &xinputExtension);
    if (!xinput)
        return;
    // Announcing 2.2 matters: the server sends a 2.0 client no raw events while another client
    // holds a grab (a menu, a drag). On a connection where Qt announced a later version, the server
    // keeps the later one.
    XIQueryVersionRequest request;
    request.majorVersion = 2;
    request.minorVersion = 2;
    const auto version = XcbRequests::waitForReply<XIQueryVersionReply>(
        connection,
        XcbRequests::send(connection, &xinputExtension, xiQueryVersion, &request, sizeof request, true));
    if (!version)
        return;
    hasXi22 = version->majorVersion > 2 || (version->majorVersion == 2 && version->minorVersion >= 2);
    if (!hasXi22)
        return;
    xiOpcode = xinput->major_opcode;
    root = XcbRequests::firstRoot(connection);
    if (const xcb_query_extension_reply_t* xkb = XcbRequests::presentExtension(connection, &xkbExtension))
        xkbFirstEvent = xkb->first_event;
    // Events of any other connection never pass Qt's filters.
    if (connection == XcbRequests::qtConnection())
        QCoreApplication::instance()->installNativeEventFilter(this);
}

XInput2GlobalMonitor::~XInput2GlobalMonitor() {
    // Qt's connection goes on after this object: stop the raw events there.
    select(false, false);
}

bool XInput2GlobalMonitor::isAvailable() const {
    return hasXi22 && XcbRequests::isUsable(connection);
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
    // The selection's round trip is where a lost server shows.
    if (!isAvailable()) {
        handlers.pop_back();
        return nullptr;
    }
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
    select(wants(Kind::Key), wants(Kind::Mouse));
}

void XInput2GlobalMonitor::select(bool keys, bool buttons) {
    if (!isAvailable())
        return;
    XISelectEventsRequest request;
    request.window = root;
    const auto set = [&request](std::uint16_t eventType) {
        request.mask[eventType / 8] |= static_cast<std::uint8_t>(1u << (eventType % 8));
    };
    if (keys)
        set(xiRawKeyPress);
    if (buttons)
        set(xiRawButtonPress);
    const unsigned int sequence =
        XcbRequests::send(connection, &xinputExtension, xiSelectEvents, &request, sizeof request, false);
    if (sequence != 0)
        std::free(xcb_request_check(connection, xcb_void_cookie_t{sequence}));
}

void XInput2GlobalMonitor::processPendingEvents() {}

bool XInput2GlobalMonitor::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    const std::uint8_t type = event->response_type & 0x7f;
    // Keymap changes, which Qt handles too. A client with XKB enabled, as Qt's is, hears of a new
    // layout (setxkbmap) by XKB's NewKeyboardNotify alone.
    if (type == XCB_MAPPING_NOTIFY) {
        keymapStale = true;
        return false;
    }
    if (xkbFirstEvent != 0 && type == xkbFirstEvent) {
        const std::uint8_t xkbType = static_cast<const XkbAnyEvent*>(message)->xkbType;
        if (xkbType == xkbNewKeyboardNotify || xkbType == xkbMapNotify)
            keymapStale = true;
        return false;
    }
    const auto* raw = static_cast<const XIRawEvent*>(message);
    if (type != XCB_GE_GENERIC || raw->extension != xiOpcode ||
        (raw->eventType != xiRawKeyPress && raw->eventType != xiRawButtonPress))
        return false;
    // Only this monitor selects raw events on the connection, and Qt has no use for them.
    std::optional<Kind> press;
    if (raw->eventType == xiRawKeyPress) {
        if (!(raw->flags & xiKeyRepeat) && !isModifierKeycode(raw->detail))
            press = Kind::Key;
    } else if (raw->detail < firstWheelButton || raw->detail > lastWheelButton) {
        press = Kind::Mouse;
    }
    if (press)
        dispatch(*press);
    return true;
}

bool XInput2GlobalMonitor::isModifierKeycode(std::uint32_t keycode) {
    if (keymapStale)
        loadModifierKeycodes();
    return keycode < modifierKeycodes.size() && modifierKeycodes.test(keycode);
}

void XInput2GlobalMonitor::loadModifierKeycodes() {
    if (!isAvailable())
        return;
    const xcb_setup_t* setup = xcb_get_setup(connection);
    const xcb_keycode_t first = setup->min_keycode;
    const int count = setup->max_keycode - first + 1;
    const XcbRequests::ReplyPtr<xcb_get_keyboard_mapping_reply_t> mapping(xcb_get_keyboard_mapping_reply(
        connection, xcb_get_keyboard_mapping(connection, first, static_cast<std::uint8_t>(count)), nullptr));
    if (!mapping)
        return;
    // A key's first keysym is its symbol in the first group at the first level, the one Xlib's
    // XkbKeycodeToKeysym(display, keycode, 0, 0) answers.
    const xcb_keysym_t* keysyms = xcb_get_keyboard_mapping_keysyms(mapping.get());
    const int perKeycode = mapping->keysyms_per_keycode;
    const int listed =
        perKeycode > 0 ? xcb_get_keyboard_mapping_keysyms_length(mapping.get()) / perKeycode : 0;
    modifierKeycodes.reset();
    for (int i = 0; i < std::min(count, listed); ++i) {
        if (ModifierKeys::isModifierKeysym(keysyms[i * perKeycode]))
            modifierKeycodes.set(first + i);
    }
    keymapStale = false;
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
