#pragma once

#include <QFutureWatcher>
#include <QHostAddress>
#include <QList>
#include <QString>

#include <functional>
#include <memory>

/// The addresses of the probed host, looked up off the GUI thread and cached, so that a
/// reachability poll never waits on DNS. A host given as an address literal needs no lookup.
/// A lookup that finds nothing keeps the addresses found before: while offline DNS fails too,
/// and the poll still needs an address to ask the routes about. GUI thread only.
class ProbeAddresses {
public:
    /// Blocking name resolution; runs on a thread of its own, never on the GUI thread.
    using Lookup = std::function<QList<QHostAddress>(const QString& host)>;

    /// Starts the first lookup at once.
    explicit ProbeAddresses(QString host, Lookup lookup = systemLookup);
    ~ProbeAddresses();
    ProbeAddresses(const ProbeAddresses&) = delete;
    ProbeAddresses& operator=(const ProbeAddresses&) = delete;

    const QString& host() const { return name; }
    /// The addresses known now; empty until a lookup has found some. Never waits.
    const QList<QHostAddress>& addresses() const { return cached; }
    /// Starts a new lookup unless one is running or the host is an address literal.
    void refresh();
    bool isLookingUp() const { return watcher && watcher->isRunning(); }

    /// Runs on the GUI thread when a lookup has found addresses.
    std::function<void()> onResolved;

    /// getaddrinfo(), TCP addresses of both families, duplicates removed.
    static QList<QHostAddress> systemLookup(const QString& host);

private:
    void adopt();

    QString name;
    Lookup lookup;
    bool isLiteral = false;
    QList<QHostAddress> cached;
    /// Only for a name: a literal never needs one.
    std::unique_ptr<QFutureWatcher<QList<QHostAddress>>> watcher;
};
