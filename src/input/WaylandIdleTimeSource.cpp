#include "WaylandIdleTimeSource.h"

#include "MonotonicClock.h"

#include <QDeadlineTimer>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>

#include <poll.h>
#include <wayland-client.h>

#include "ext-idle-notify-v1-client-protocol.h"
#include "kde-idle-client-protocol.h"

namespace {

// Learning what the compositor offers takes one round trip; one that has not answered within
// this is hung, and the desktop with it.
constexpr int roundtripBoundMs = 1000;
constexpr double nsPerSecond = 1e9;
constexpr double msPerSecond = 1e3;

} // namespace

// The registry names of the globals the source binds, as the compositor lists them.
struct WaylandIdleTimeSource::Globals {
    std::optional<std::uint32_t> seat;
    std::optional<std::uint32_t> extNotifier;
    std::optional<std::uint32_t> kdeIdle;
};

WaylandIdleTimeSource::WaylandIdleTimeSource(std::unique_ptr<MonotonicClock> clock, QObject* parent)
    : QObject(parent)
    , clock(std::move(clock))
    , display(wl_display_connect(nullptr)) {
    if (!display) {
        lose();
        return;
    }
    static const wl_registry_listener registryListener{
        [](void* data, wl_registry*, std::uint32_t name, const char* interface, std::uint32_t) {
            auto& globals = *static_cast<Globals*>(data);
            const auto is = [interface](const wl_interface& known) {
                return std::strcmp(interface, known.name) == 0;
            };
            // The first seat is the user's; a desktop with several has no better choice.
            if (is(wl_seat_interface) && !globals.seat)
                globals.seat = name;
            else if (is(ext_idle_notifier_v1_interface))
                globals.extNotifier = name;
            else if (is(org_kde_kwin_idle_interface))
                globals.kdeIdle = name;
        },
        [](void*, wl_registry*, std::uint32_t) {}};
    Globals globals;
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registryListener, &globals);
    if (roundtrip())
        watch(registry, globals);
    // Objects bound from the registry outlive it, and no later global can reach `globals`.
    wl_registry_destroy(registry);
    // The second round trip sends the requests and sees the compositor take them.
    if (!(extNotification || kdeTimeout) || !roundtrip()) {
        lose();
        return;
    }
    readable = new QSocketNotifier(wl_display_get_fd(display), QSocketNotifier::Read, this);
    connect(readable, &QSocketNotifier::activated, this, &WaylandIdleTimeSource::onReadable);
}

WaylandIdleTimeSource::~WaylandIdleTimeSource() {
    delete readable; // before its socket closes
    if (!display)
        return;
    if (extNotification)
        ext_idle_notification_v1_destroy(extNotification);
    if (extNotifier)
        ext_idle_notifier_v1_destroy(extNotifier);
    if (kdeTimeout)
        org_kde_kwin_idle_timeout_release(kdeTimeout);
    if (kdeIdle)
        org_kde_kwin_idle_destroy(kdeIdle);
    if (seat)
        wl_seat_destroy(seat);
    wl_display_disconnect(display);
}

void WaylandIdleTimeSource::watch(wl_registry* registry, const Globals& globals) {
    if (!globals.seat || !(globals.extNotifier || globals.kdeIdle))
        return;
    seat = static_cast<wl_seat*>(wl_registry_bind(registry, *globals.seat, &wl_seat_interface, 1));
    if (globals.extNotifier) {
        static const ext_idle_notification_v1_listener listener{
            [](void* data, ext_idle_notification_v1*) {
                static_cast<WaylandIdleTimeSource*>(data)->onIdle();
            },
            [](void* data, ext_idle_notification_v1*) {
                static_cast<WaylandIdleTimeSource*>(data)->onResumed();
            }};
        extNotifier = static_cast<ext_idle_notifier_v1*>(
            wl_registry_bind(registry, *globals.extNotifier, &ext_idle_notifier_v1_interface, 1));
        extNotification = ext_idle_notifier_v1_get_idle_notification(extNotifier, notifyAfterMs, seat);
        ext_idle_notification_v1_add_listener(extNotification, &listener, this);
        return;
    }
    static const org_kde_kwin_idle_timeout_listener listener{
        [](void* data, org_kde_kwin_idle_timeout*) { static_cast<WaylandIdleTimeSource*>(data)->onIdle(); },
        [](void* data, org_kde_kwin_idle_timeout*) {
            static_cast<WaylandIdleTimeSource*>(data)->onResumed();
        }};
    kdeIdle = static_cast<org_kde_kwin_idle*>(
        wl_registry_bind(registry, *globals.kdeIdle, &org_kde_kwin_idle_interface, 1));
    kdeTimeout = org_kde_kwin_idle_get_idle_timeout(kdeIdle, seat, notifyAfterMs);
    org_kde_kwin_idle_timeout_add_listener(kdeTimeout, &listener, this);
}

bool WaylandIdleTimeSource::roundtrip() {
    static const wl_callback_listener doneListener{
        [](void* data, wl_callback*, std::uint32_t) { *static_cast<bool*>(data) = true; }};
    bool done = false;
    wl_callback* sync = wl_display_sync(display);
    wl_callback_add_listener(sync, &doneListener, &done);
    const QDeadlineTimer deadline(roundtripBoundMs);
    while (!done && !deadline.hasExpired() && dispatch(static_cast<int>(deadline.remainingTime()))) {
    }
    wl_callback_destroy(sync);
    return done;
}

// Sends what is queued, then reads and handles what the compositor sent, waiting up to waitMs
// for it to arrive. False once the connection is broken.
bool WaylandIdleTimeSource::dispatch(int waitMs) {
    while (wl_display_prepare_read(display) != 0) {
        if (wl_display_dispatch_pending(display) < 0)
            return false;
    }
    pollfd socket{wl_display_get_fd(display), POLLIN, 0};
    const bool sent = wl_display_flush(display) >= 0 || errno == EAGAIN;
    const int ready = sent ? poll(&socket, 1, waitMs) : -1;
    if (ready <= 0) {
        wl_display_cancel_read(display);
        return sent && (ready == 0 || errno == EINTR);
    }
    return wl_display_read_events(display) >= 0 && wl_display_dispatch_pending(display) >= 0;
}

void WaylandIdleTimeSource::onReadable() {
    if (!dispatch(0))
        lose();
}

void WaylandIdleTimeSource::onIdle() {
    // A second "idle" without "resumed" in between breaks the protocol; the first one stands.
    if (!idleSinceNs)
        idleSinceNs = clock->nowNs();
}

void WaylandIdleTimeSource::onResumed() {
    idleSinceNs.reset();
}

void WaylandIdleTimeSource::lose() {
    lost = true;
    idleSinceNs.reset();
    // A socket the compositor closed reads as ready for ever; the notifier may be mid-signal.
    if (readable) {
        readable->setEnabled(false);
        readable->deleteLater();
    }
}

double WaylandIdleTimeSource::secondsSinceLastInput() {
    if (lost || !idleSinceNs)
        return 0.0;
    return notifyAfterMs / msPerSecond + static_cast<double>(clock->nowNs() - *idleSinceNs) / nsPerSecond;
}

bool WaylandIdleTimeSource::isAvailable() const {
    return !lost;
}

IdleTimeSource* corluneMakeWaylandIdleTimeSource(MonotonicClock* clock) {
    return new WaylandIdleTimeSource(std::unique_ptr<MonotonicClock>(clock));
}

// The protocols' interface tables, as wayland-scanner writes them in C. Included after their
// headers, whose extern declarations give the const tables the external linkage they have in C.
// GCC ignores, with a warning, the "hidden" that then comes second; the module hides every
// symbol but its entry anyway.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wattributes"
#include "ext-idle-notify-v1-protocol.c"
#include "kde-idle-protocol.c"
#pragma GCC diagnostic pop
