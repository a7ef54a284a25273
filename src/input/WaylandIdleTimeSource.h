#pragma once

#include "IdleTimeSource.h"

#include <QObject>
#include <QPointer>

#include <cstdint>
#include <memory>
#include <optional>

class MonotonicClock;
class QSocketNotifier;
struct ext_idle_notification_v1;
struct ext_idle_notifier_v1;
struct org_kde_kwin_idle;
struct org_kde_kwin_idle_timeout;
struct wl_display;
struct wl_registry;
struct wl_seat;

/// The idle time from a Wayland compositor's idle notifications: ext_idle_notifier_v1 where the
/// compositor offers it, else KDE's org_kde_kwin_idle, which KWin and the wlroots compositors
/// (sway and others) offer. Both only tell "no input for N ms" and "input again", so the source
/// asks for a notification after notifyAfterMs: below that it answers 0, from then on
/// notifyAfterMs plus the time since the compositor said so. Figures under notifyAfterMs read 0;
/// the tick's resume bound (2 s) and the idle threshold (a minute or more) are both at or above
/// it, so every decision the tick makes is the one an exact figure would give.
///
/// It reads a connection of its own from the GUI thread, through a socket notifier, and a query
/// never waits on the compositor. Only the constructor does, bounded, to learn what the
/// compositor offers. Like the compositor's screen locker, the notifications hold back while a
/// program inhibits idleness (a video playing full screen), and so does the automatic pause.
/// Unavailable (answers 0) without a compositor, a seat or either protocol, and from the moment
/// the compositor goes away or breaks the protocol.
class WaylandIdleTimeSource final : public QObject, public IdleTimeSource {
public:
    static constexpr std::uint32_t notifyAfterMs = 1000;

    /// Connects to the compositor that $WAYLAND_DISPLAY names.
    explicit WaylandIdleTimeSource(std::unique_ptr<MonotonicClock> clock, QObject* parent = nullptr);
    ~WaylandIdleTimeSource() override;
    WaylandIdleTimeSource(const WaylandIdleTimeSource&) = delete;
    WaylandIdleTimeSource& operator=(const WaylandIdleTimeSource&) = delete;

    double secondsSinceLastInput() override;
    bool isAvailable() const override;

private:
    struct Globals;
    bool roundtrip();
    bool dispatch(int waitMs);
    void watch(wl_registry* registry, const Globals& globals);
    void onReadable();
    void onIdle();
    void onResumed();
    void lose();

    std::unique_ptr<MonotonicClock> clock;
    wl_display* display = nullptr; // owned: disconnected last
    wl_seat* seat = nullptr;
    ext_idle_notifier_v1* extNotifier = nullptr;
    ext_idle_notification_v1* extNotification = nullptr;
    org_kde_kwin_idle* kdeIdle = nullptr;
    org_kde_kwin_idle_timeout* kdeTimeout = nullptr;
    QPointer<QSocketNotifier> readable;      // a child; deleted when the connection is lost
    std::optional<std::int64_t> idleSinceNs; // monotonic time of the compositor's "idle"
    bool lost = false;
};

/// The entry the program resolves after loading the module that holds this source: a new source
/// (owned by the caller) reading \a clock (whose ownership it takes).
extern "C" Q_DECL_EXPORT IdleTimeSource* corluneMakeWaylandIdleTimeSource(MonotonicClock* clock);
