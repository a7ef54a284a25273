#include "PgPool.h"

namespace corlune::server {

PgPool::PgPool(std::string uri, Setup setup, std::size_t size, std::chrono::milliseconds wait)
    : uri(std::move(uri))
    , setup(std::move(setup))
    , size(std::max<std::size_t>(size, 1))
    , wait(wait) {}

std::unique_ptr<PgConnection> PgPool::connect() const {
    auto connection = std::make_unique<PgConnection>(uri);
    setup(*connection);
    return connection;
}

PgPool::Lease PgPool::lease() {
    std::unique_ptr<PgConnection> connection;
    {
        std::unique_lock lock(mutex);
        if (!freed.wait_for(lock, wait, [this] { return !idle.empty() || open < size; })) {
            throw PgError("no database connection came free in time");
        }
        if (!idle.empty()) {
            connection = std::move(idle.back());
            idle.pop_back();
            if (!connection->usable()) {
                connection.reset();
                --open;
            }
        }
        if (!connection) {
            ++open;
        }
    }
    if (!connection) {
        try {
            // Made outside the lock: connecting may take as long as the connect timeout.
            connection = connect();
        } catch (...) {
            const std::lock_guard lock(mutex);
            --open;
            freed.notify_one();
            throw;
        }
    }
    return Lease(*this, std::move(connection));
}

void PgPool::giveBack(std::unique_ptr<PgConnection> connection) {
    {
        const std::lock_guard lock(mutex);
        if (connection && connection->usable()) {
            idle.push_back(std::move(connection));
        } else {
            --open;
        }
    }
    freed.notify_one();
}

} // namespace corlune::server
