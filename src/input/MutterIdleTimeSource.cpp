#include "MutterIdleTimeSource.h"

#include "MonotonicClock.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace {
const QString serviceName = QStringLiteral("org.gnome.Mutter.IdleMonitor");
const QString objectPath = QStringLiteral("/org/gnome/Mutter/IdleMonitor/Core");
const QString interfaceName = QStringLiteral("org.gnome.Mutter.IdleMonitor");
// Five queries a second: an answer that has not come within a second is not coming soon.
constexpr int callTimeoutMs = 1000;
// Beyond this age the last answer says nothing about the user; answering from it could pause
// the session of someone who is typing.
constexpr std::int64_t staleAfterNs = 2'000'000'000;
constexpr double nsPerSecond = 1e9;
constexpr double msPerSecond = 1e3;
} // namespace

MutterIdleTimeSource::MutterIdleTimeSource(const QDBusConnection& bus, std::unique_ptr<MonotonicClock> clock,
                                           QObject* parent)
    : QObject(parent)
    , bus(bus)
    , clock(std::move(clock)) {
    ask();
}

MutterIdleTimeSource::~MutterIdleTimeSource() = default;

bool MutterIdleTimeSource::isOffered(const QDBusConnection& bus) {
    const QDBusConnectionInterface* daemon = bus.interface();
    return bus.isConnected() && daemon && daemon->isServiceRegistered(serviceName).value();
}

void MutterIdleTimeSource::ask() {
    QDBusMessage call =
        QDBusMessage::createMethodCall(serviceName, objectPath, interfaceName, QStringLiteral("GetIdletime"));
    call.setAutoStartService(false);
    pending = new QDBusPendingCallWatcher(bus.asyncCall(call, callTimeoutMs), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, &MutterIdleTimeSource::onReply);
}

void MutterIdleTimeSource::onReply(QDBusPendingCallWatcher* watcher) {
    watcher->deleteLater();
    pending = nullptr;
    const QDBusPendingReply<quint64> reply = *watcher;
    if (reply.isError()) {
        failed = true;
        return;
    }
    idleMs = reply.value();
    answeredAtNs = clock->nowNs();
    failed = false;
}

bool MutterIdleTimeSource::isStale() const {
    return idleMs && clock->nowNs() - answeredAtNs > staleAfterNs;
}

double MutterIdleTimeSource::secondsSinceLastInput() {
    if (!pending)
        ask();
    if (!idleMs || !isAvailable())
        return 0.0;
    // Without input the idle time grows with the clock; input since the answer shows in the next.
    const double sinceAnswer = static_cast<double>(clock->nowNs() - answeredAtNs) / nsPerSecond;
    return static_cast<double>(*idleMs) / msPerSecond + sinceAnswer;
}

bool MutterIdleTimeSource::isAvailable() const {
    return !failed && !isStale();
}
