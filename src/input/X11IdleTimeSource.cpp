#include "X11IdleTimeSource.h"

#include "XcbRequests.h"

#include <cstring>
#include <string_view>

#include <xcb/sync.h>

namespace {

constexpr double msPerSecond = 1000.0;

// libxcb-sync is loaded with Qt's xcb plugin anyway; MIT-SCREEN-SAVER's binding is not, and its one
// request is sent as the protocol lays it out.
xcb_extension_t screenSaverExtension{"MIT-SCREEN-SAVER", 0};
constexpr std::uint8_t screenSaverQueryInfo = 1;

struct ScreenSaverQueryInfoRequest {
    std::uint8_t majorOpcode = 0; // this and the next two are filled in by libxcb
    std::uint8_t minorOpcode = 0;
    std::uint16_t length = 0;
    std::uint32_t drawable = 0;
};
static_assert(sizeof(ScreenSaverQueryInfoRequest) == 8);

struct ScreenSaverQueryInfoReply {
    std::uint8_t responseType;
    std::uint8_t state;
    std::uint16_t sequence;
    std::uint32_t length;
    std::uint32_t saverWindow;
    std::uint32_t msUntilServer;
    std::uint32_t msSinceUserInput;
    std::uint32_t eventMask;
    std::uint8_t kind;
    std::uint8_t pad[7];
};
static_assert(sizeof(ScreenSaverQueryInfoReply) == 32);

// A SYSTEMCOUNTER of ListSystemCounters on the wire: counter (4), resolution (8), name length
// (2), the name, then padding to a multiple of four. libxcb's xcb_sync_systemcounter_t is 16 bytes
// with the compiler's padding, so xcb_sync_systemcounter_name() points two bytes into the name;
// the list is read from the bytes instead.
constexpr std::size_t systemCounterHeader = 14;
constexpr std::size_t systemCounterNameLengthAt = 12;

template <typename T>
T readAt(const std::uint8_t* bytes) {
    T value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

} // namespace

X11IdleTimeSource::X11IdleTimeSource(const QByteArray& displayName, Method preferred)
    : connection(xcb_connect(displayName.isEmpty() ? nullptr : displayName.constData(), nullptr)) {
    if (!XcbRequests::isUsable(connection.get()))
        return;
    root = XcbRequests::firstRoot(connection.get());
    if (preferred == Method::SyncIdleCounter && findIdleCounter())
        active = Method::SyncIdleCounter;
    else if (preferred != Method::Unavailable && hasScreenSaverInfo())
        active = Method::ScreenSaverInfo;
}

X11IdleTimeSource::~X11IdleTimeSource() = default;

void X11IdleTimeSource::Disconnect::operator()(xcb_connection_t* connection) const {
    xcb_disconnect(connection);
}

bool X11IdleTimeSource::findIdleCounter() {
    if (!XcbRequests::presentExtension(connection.get(), &xcb_sync_id))
        return false;
    // The protocol asks every client to initialize SYNC once before using it.
    const XcbRequests::ReplyPtr<xcb_sync_initialize_reply_t> version(xcb_sync_initialize_reply(
        connection.get(),
        xcb_sync_initialize(connection.get(), XCB_SYNC_MAJOR_VERSION, XCB_SYNC_MINOR_VERSION), nullptr));
    const XcbRequests::ReplyPtr<xcb_sync_list_system_counters_reply_t> list(
        xcb_sync_list_system_counters_reply(connection.get(), xcb_sync_list_system_counters(connection.get()),
                                            nullptr));
    if (!version || !list)
        return false;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(list.get() + 1);
    const std::size_t size = std::size_t{list->length} * 4;
    std::size_t at = 0;
    for (std::uint32_t i = 0; i < list->counters_len && at + systemCounterHeader <= size; ++i) {
        const auto nameLength = readAt<std::uint16_t>(bytes + at + systemCounterNameLengthAt);
        if (at + systemCounterHeader + nameLength > size)
            break;
        const std::string_view name(reinterpret_cast<const char*>(bytes + at + systemCounterHeader),
                                    nameLength);
        if (name == "IDLETIME") {
            idleCounter = readAt<std::uint32_t>(bytes + at);
            return true;
        }
        at += (systemCounterHeader + nameLength + 3) & ~std::size_t{3};
    }
    return false;
}

bool X11IdleTimeSource::hasScreenSaverInfo() {
    return XcbRequests::presentExtension(connection.get(), &screenSaverExtension) != nullptr;
}

double X11IdleTimeSource::secondsSinceLastInput() {
    if (!isAvailable())
        return 0.0;
    const double seconds = active == Method::SyncIdleCounter ? syncIdleSeconds() : screenSaverIdleSeconds();
    return isAvailable() ? seconds : 0.0;
}

double X11IdleTimeSource::syncIdleSeconds() {
    const XcbRequests::ReplyPtr<xcb_sync_query_counter_reply_t> reply(xcb_sync_query_counter_reply(
        connection.get(), xcb_sync_query_counter(connection.get(), idleCounter), nullptr));
    if (!reply)
        return 0.0;
    // The counter is a 64-bit count of milliseconds, split into two 32-bit halves.
    const auto ms = (static_cast<std::int64_t>(reply->counter_value.hi) << 32) |
                    static_cast<std::int64_t>(reply->counter_value.lo);
    return static_cast<double>(ms) / msPerSecond;
}

double X11IdleTimeSource::screenSaverIdleSeconds() {
    ScreenSaverQueryInfoRequest request;
    request.drawable = root;
    const auto reply = XcbRequests::waitForReply<ScreenSaverQueryInfoReply>(
        connection.get(), XcbRequests::send(connection.get(), &screenSaverExtension, screenSaverQueryInfo,
                                            &request, sizeof request, true));
    return reply ? static_cast<double>(reply->msSinceUserInput) / msPerSecond : 0.0;
}

bool X11IdleTimeSource::isAvailable() const {
    return active != Method::Unavailable && XcbRequests::isUsable(connection.get());
}
