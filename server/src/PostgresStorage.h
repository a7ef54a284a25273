#pragma once

#include "EventWriter.h"
#include "PgPool.h"
#include "Storage.h"

#include <memory>
#include <string>

namespace corlune::server {

/// The service's storage in a PostgreSQL database that several instances of the service may
/// share: they see the same employees, events and tokens, and one sign-in slow-down. An
/// idempotency key is unique in the table, so a key sent to two instances at once is stored
/// once and both answer with that one event. Events are written by one thread per instance
/// that sends a whole batch in one round trip and one transaction, committed with
/// synchronous_commit on: durable before store() returns.
class PostgresStorage final : public Storage {
public:
    /// Connects to a libpq URI and migrates the database; throws StorageError when it cannot.
    /// Keeps at most `connections` connections (at least two: one is the event writer's).
    PostgresStorage(const std::string& uri, std::size_t connections);
    ~PostgresStorage() override;
    PostgresStorage(const PostgresStorage&) = delete;
    PostgresStorage& operator=(const PostgresStorage&) = delete;

    StoreResult store(const EventReport& report, const std::string& idempotencyKey) override;
    CredentialsLookup credentials(const std::string& employeeId, const std::string& jobId) override;
    TimelineLookup timeline(const std::string& employeeId, const std::string& jobId, UnixSeconds from,
                            UnixSeconds to) override;
    std::optional<std::vector<JobTimeline>> timelines(UnixSeconds from, UnixSeconds to,
                                                      const std::optional<std::string>& employeeId) override;
    bool addToken(const std::string& digest, const TokenOwner& owner, UnixSeconds issuedAt,
                  UnixSeconds expiresAt) override;
    TokenLookup token(const std::string& digest, UnixSeconds now) override;
    AddOutcome addEmployee(const std::string& employeeId, const std::string& passwordHash,
                           const std::vector<std::string>& jobs) override;
    RemoveOutcome removeEmployee(const std::string& employeeId) override;
    std::optional<std::vector<Employee>> employees() override;
    std::unique_ptr<VerifyThrottle> verifyThrottle(const Clock& clock, VerifyThrottle::Rule rule) override;

private:
    std::vector<StoreResult> writeBatch(const std::vector<PendingEvent>& batch);

    PgPool pool;
    std::unique_ptr<PgConnection> writerConnection; ///< the writer thread's alone
    // Its thread uses writerConnection and the pool, so it goes first.
    EventWriter writer;
};

} // namespace corlune::server
