#include "ProbeAddresses.h"

#include <QPromise>
#include <QUrl>

#include <memory>
#include <thread>

#include <netdb.h>
#include <sys/socket.h>

ProbeAddresses::ProbeAddresses(QString host, Lookup lookup)
    : name(std::move(host))
    , lookup(std::move(lookup)) {
    const QHostAddress literal(name);
    if (!literal.isNull()) {
        isLiteral = true;
        cached = {literal};
        return;
    }
    watcher = std::make_unique<QFutureWatcher<QList<QHostAddress>>>();
    QObject::connect(watcher.get(), &QFutureWatcherBase::finished, watcher.get(), [this] { adopt(); });
    if (!name.isEmpty())
        refresh();
}

ProbeAddresses::~ProbeAddresses() = default;

void ProbeAddresses::refresh() {
    if (isLiteral || name.isEmpty() || watcher->isRunning())
        return;
    auto promise = std::make_shared<QPromise<QList<QHostAddress>>>();
    watcher->setFuture(promise->future());
    promise->start();
    // Detached: a resolver can hang for tens of seconds, and neither a poll nor quitting may
    // wait for it. The thread shares only the promise, so it may outlive this object.
    std::thread([promise, lookup = lookup, host = name] {
        promise->addResult(lookup(host));
        promise->finish();
    }).detach();
}

void ProbeAddresses::adopt() {
    const QFuture<QList<QHostAddress>> future = watcher->future();
    if (future.resultCount() == 0)
        return;
    const QList<QHostAddress> found = future.result();
    if (found.isEmpty())
        return;
    cached = found;
    if (onResolved)
        onResolved();
}

QList<QHostAddress> ProbeAddresses::systemLookup(const QString& host) {
    const QByteArray ace = QUrl::toAce(host);
    if (ace.isEmpty())
        return {};
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* results = nullptr;
    if (::getaddrinfo(ace.constData(), nullptr, &hints, &results) != 0)
        return {};
    QList<QHostAddress> found;
    for (const addrinfo* entry = results; entry; entry = entry->ai_next) {
        const QHostAddress address(entry->ai_addr);
        if (!address.isNull() && !found.contains(address))
            found.append(address);
    }
    ::freeaddrinfo(results);
    return found;
}
