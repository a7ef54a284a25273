#pragma once

#include "Sqlite.h"
#include "Timeline.h"
#include "WireFormat.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace corlune::server {

class EventWriter;

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

/// The service's one SQLite database: WAL journal, synchronous=FULL, so an event is on disk
/// (fsync of the WAL) before store() returns. Events are written by one writer thread that
/// commits concurrent requests together (group commit); reads use a pool of connections,
/// each with its statements prepared once. Every method may be called from any thread.
class Storage {
public:
    /// Opens or creates the file and migrates it; throws SqliteError when it cannot. A new
    /// file, and the journal files that follow its mode, are readable by their owner alone.
    explicit Storage(const std::string& path);
    ~Storage();
    Storage(const Storage&) = delete;
    Storage& operator=(const Storage&) = delete;

    /// Stores one report unless its idempotency key (empty: none) is already stored.
    /// Blocks until the event is durable or refused.
    StoreResult store(const EventReport& report, const std::string& idempotencyKey);

    CredentialsLookup credentials(const std::string& employeeId, const std::string& jobId);

    /// The clock and break events that decide the work inside [from, to]: those up to `to`,
    /// from the employee's last clock-out at or before `from` on (before it, nothing can
    /// reach into the range).
    TimelineLookup timeline(const std::string& employeeId, const std::string& jobId, UnixSeconds from,
                            UnixSeconds to);

    /// Keeps a token's digest for its owner from `issuedAt` until `expiresAt`, and drops the
    /// owner's tokens expired by then and the oldest beyond maxTokensPerEmployee. False when it
    /// cannot.
    bool addToken(const std::string& digest, const TokenOwner& owner, UnixSeconds issuedAt,
                  UnixSeconds expiresAt);
    TokenLookup token(const std::string& digest, UnixSeconds now);

    AddOutcome addEmployee(const std::string& employeeId, const std::string& passwordHash,
                           const std::vector<std::string>& jobs);
    /// Also revokes the employee's tokens; their recorded events are kept.
    RemoveOutcome removeEmployee(const std::string& employeeId);
    /// Sorted by ID; nothing when the database cannot be read.
    std::optional<std::vector<Employee>> employees();

private:
    struct Reader;
    class ReaderLease;

    ReaderLease lease();

    const std::string path;
    std::mutex readersMutex;
    std::vector<std::unique_ptr<Reader>> idleReaders;
    std::unique_ptr<EventWriter> writer;
};

/// The employee-and-job check, prepared once per connection.
class AccessCheck {
public:
    explicit AccessCheck(Connection& connection);
    Access check(const std::string& employeeId, const std::string& jobId);
    /// The check, with the employee's password hash.
    CredentialsLookup credentials(const std::string& employeeId, const std::string& jobId);

private:
    Statement findEmployee;
    Statement findJob;
};

} // namespace corlune::server
