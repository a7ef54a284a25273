#pragma once

#include "Clock.h"
#include "Timeline.h"
#include "VerifyThrottle.h"
#include "WireFormat.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace corlune::server {

enum class StoreOutcome {
    Stored,    ///< new event, durable on disk
    Replayed,  ///< the idempotency key was stored with this same event: nothing stored
    KeyReused, ///< the idempotency key was stored with a different event: nothing stored
    UnknownEmployee,
    JobNotAllowed,
    Failed, ///< the database could not be written
};

struct StoreResult {
    StoreOutcome outcome = StoreOutcome::Failed;
    std::int64_t eventId = 0; ///< the stored event's id, for Stored and Replayed
};

enum class Access { Allowed, UnknownEmployee, JobNotAllowed, Failed };

struct CredentialsLookup {
    Access access = Access::Failed;
    std::string passwordHash; ///< for Allowed and JobNotAllowed
};

struct TimelineLookup {
    Access access = Access::Failed;
    std::vector<TimelineEvent> events; ///< for Allowed
};

/// The clock and break events of one employee on one job.
struct JobTimeline {
    std::string employeeId;
    std::string jobId;
    std::vector<TimelineEvent> events;
};

/// Whom a sign-in token speaks for: the employee and job of the verification that made it.
struct TokenOwner {
    std::string employeeId;
    std::string jobId;
    bool operator==(const TokenOwner&) const = default;
};

enum class TokenStatus {
    Valid,
    Unknown, ///< never issued, expired, or revoked with its employee
    Failed,  ///< the database could not be read
};

struct TokenLookup {
    TokenStatus status = TokenStatus::Failed;
    TokenOwner owner; ///< for Valid
};

/// An employee keeps at most this many live tokens (each verification makes one); the oldest
/// beyond it are dropped.
inline constexpr int maxTokensPerEmployee = 256;

enum class AddOutcome { Added, AlreadyExists, Failed };
enum class RemoveOutcome { Removed, NotFound, Failed };

struct Employee {
    std::string id;
    std::vector<std::string> jobs; ///< sorted
};

/// A database that cannot be opened, or whose schema cannot be brought up to date.
class StorageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// The service's database. Each backend answers the same calls with the same outcomes; once
/// open, a database that fails is answered with Failed and its kin, never with an exception.
/// An event is durable before store() returns. Every method may be called from any thread.
class Storage {
public:
    virtual ~Storage() = default;

    /// Stores one report unless its idempotency key (empty: none) is already stored.
    /// Blocks until the event is durable or refused.
    virtual StoreResult store(const EventReport& report, const std::string& idempotencyKey) = 0;

    virtual CredentialsLookup credentials(const std::string& employeeId, const std::string& jobId) = 0;

    /// The clock and break events that decide the work inside [from, to]: those up to `to`,
    /// from the employee's last clock-out at or before `from` on (before it, nothing can
    /// reach into the range).
    virtual TimelineLookup timeline(const std::string& employeeId, const std::string& jobId, UnixSeconds from,
                                    UnixSeconds to) = 0;

    /// The same selection for every employee and job with events up to `to` (only
    /// `employeeId`'s when given), whether or not the employee still exists; ordered by
    /// employee and job ID, byte by byte. Nothing when the database cannot be read.
    virtual std::optional<std::vector<JobTimeline>>
    timelines(UnixSeconds from, UnixSeconds to, const std::optional<std::string>& employeeId) = 0;

    /// Keeps a token's digest for its owner from `issuedAt` until `expiresAt`, and drops the
    /// owner's tokens expired by then and the oldest beyond maxTokensPerEmployee. False when it
    /// cannot.
    virtual bool addToken(const std::string& digest, const TokenOwner& owner, UnixSeconds issuedAt,
                          UnixSeconds expiresAt) = 0;
    virtual TokenLookup token(const std::string& digest, UnixSeconds now) = 0;

    virtual AddOutcome addEmployee(const std::string& employeeId, const std::string& passwordHash,
                                   const std::vector<std::string>& jobs) = 0;
    /// Also revokes the employee's tokens; their recorded events are kept.
    virtual RemoveOutcome removeEmployee(const std::string& employeeId) = 0;
    /// Sorted by ID, byte by byte; nothing when the database cannot be read.
    virtual std::optional<std::vector<Employee>> employees() = 0;

    /// The sign-in slow-down that goes with this database: kept in memory where one process
    /// owns the database, in the database where several instances share it. It may be used
    /// as long as this storage lives.
    virtual std::unique_ptr<VerifyThrottle> verifyThrottle(const Clock& clock, VerifyThrottle::Rule rule) = 0;
};

/// True for a libpq connection URI: "postgresql://…" or "postgres://…".
bool isPostgresUri(std::string_view database);

/// PostgreSQL for a libpq connection URI, else the SQLite file at that path; created and
/// migrated to this program's schema when needed. A PostgreSQL backend keeps at most
/// `connections` connections (its event writer's included). Throws StorageError naming what
/// failed.
std::unique_ptr<Storage> openStorage(const std::string& database, std::size_t connections = 4);

} // namespace corlune::server
