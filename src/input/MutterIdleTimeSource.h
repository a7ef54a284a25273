#pragma once

#include "IdleTimeSource.h"

#include <QDBusConnection>
#include <QObject>
#include <QPointer>

#include <cstdint>
#include <memory>
#include <optional>

class MonotonicClock;
class QDBusPendingCallWatcher;

/// GNOME's idle time on Wayland: org.gnome.Mutter.IdleMonitor's GetIdletime (milliseconds), asked
/// asynchronously. A query never waits on the bus: it answers from the last reply, grown by the
/// time since that reply arrived, and starts the next request, so the figure lags input by at
/// most one query. No reply for a while, or an error, makes it unavailable (answers 0) until
/// Mutter answers again.
class MutterIdleTimeSource final : public QObject, public IdleTimeSource {
public:
    MutterIdleTimeSource(const QDBusConnection& bus, std::unique_ptr<MonotonicClock> clock,
                         QObject* parent = nullptr);
    ~MutterIdleTimeSource() override;
    MutterIdleTimeSource(const MutterIdleTimeSource&) = delete;
    MutterIdleTimeSource& operator=(const MutterIdleTimeSource&) = delete;

    /// Whether Mutter's idle monitor is on \a bus (asks the bus once, synchronously).
    static bool isOffered(const QDBusConnection& bus);

    double secondsSinceLastInput() override;
    bool isAvailable() const override;

private:
    void ask();
    void onReply(QDBusPendingCallWatcher* watcher);
    bool isStale() const;

    QDBusConnection bus;
    std::unique_ptr<MonotonicClock> clock;
    QPointer<QDBusPendingCallWatcher> pending;
    std::optional<std::uint64_t> idleMs; // the last answer
    std::int64_t answeredAtNs = 0;       // monotonic time of that answer
    bool failed = false;
};
