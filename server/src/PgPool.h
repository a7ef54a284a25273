#pragma once

#include "Postgres.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace corlune::server {

/// At most `size` connections to one database, made when first needed, each readied once
/// (its statements prepared) by `setup`. A connection the server has ended is found out
/// before it is handed out, and replaced; one left in a broken state is dropped when given
/// back. Every method may be called from any thread.
class PgPool {
public:
    using Setup = std::function<void(PgConnection&)>;

    PgPool(std::string uri, Setup setup, std::size_t size, std::chrono::milliseconds wait);
    PgPool(const PgPool&) = delete;
    PgPool& operator=(const PgPool&) = delete;

    /// A connection for one operation, given back when the lease ends.
    class Lease {
    public:
        Lease(PgPool& pool, std::unique_ptr<PgConnection> connection)
            : pool(pool)
            , connection(std::move(connection)) {}
        ~Lease() { pool.giveBack(std::move(connection)); }
        Lease(const Lease&) = delete;
        Lease& operator=(const Lease&) = delete;

        PgConnection* operator->() const { return connection.get(); }
        PgConnection& operator*() const { return *connection; }

    private:
        PgPool& pool;
        std::unique_ptr<PgConnection> connection;
    };

    /// Waits at most `wait` for a free connection; throws PgError when none came or a new one
    /// could not be made.
    Lease lease();
    /// A connection of its own, readied as the pool's are, for a thread that keeps one.
    std::unique_ptr<PgConnection> connect() const;

private:
    void giveBack(std::unique_ptr<PgConnection> connection);

    const std::string uri;
    const Setup setup;
    const std::size_t size;
    const std::chrono::milliseconds wait;
    std::mutex mutex;
    std::condition_variable freed;
    std::vector<std::unique_ptr<PgConnection>> idle;
    std::size_t open = 0; ///< idle and leased
};

} // namespace corlune::server
