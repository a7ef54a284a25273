#pragma once

#include "Sqlite.h"
#include "Storage.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace corlune::server {

class EventWriter;

/// The service's storage in one SQLite file: WAL journal, synchronous=FULL, so an event is on
/// disk (fsync of the WAL) before store() returns. Events are written by one writer thread that
/// commits concurrent requests together (group commit); reads use a pool of connections, each
/// with its statements prepared once. One process owns the file, so the sign-in slow-down
/// stays in its memory.
class SqliteStorage final : public Storage {
public:
    /// Opens or creates the file and migrates it; throws StorageError when it cannot. A new
    /// file, and the journal files that follow its mode, are readable by their owner alone.
    explicit SqliteStorage(const std::string& path);
    ~SqliteStorage() override;
    SqliteStorage(const SqliteStorage&) = delete;
    SqliteStorage& operator=(const SqliteStorage&) = delete;

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
    struct Reader;
    class ReaderLease;
    struct Writer;

    ReaderLease lease();

    const std::string path;
    std::mutex readersMutex;
    std::vector<std::unique_ptr<Reader>> idleReaders;
    std::unique_ptr<Writer> writerConnection;
    // Its thread uses writerConnection, so it goes first.
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
