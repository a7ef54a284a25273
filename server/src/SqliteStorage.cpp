#include "SqliteStorage.h"

#include "EventWriter.h"
#include "InMemoryThrottle.h"
#include "Schema.h"

#include <chrono>
#include <fcntl.h>
#include <limits>
#include <thread>
#include <unistd.h>

namespace corlune::server {

AccessCheck::AccessCheck(Connection& connection)
    : findEmployee(connection, "SELECT password_hash FROM employees WHERE id = ?1")
    , findJob(connection, "SELECT 1 FROM employee_jobs WHERE employee_id = ?1 AND job_id = ?2") {}

CredentialsLookup AccessCheck::credentials(const std::string& employeeId, const std::string& jobId) {
    CredentialsLookup lookup;
    {
        auto row = findEmployee.run();
        if (!row.bind(1, employeeId).step()) {
            return {Access::UnknownEmployee, {}};
        }
        lookup.passwordHash = row.text(0);
    }
    auto row = findJob.run();
    lookup.access = row.bind(1, employeeId).bind(2, jobId).step() ? Access::Allowed : Access::JobNotAllowed;
    return lookup;
}

Access AccessCheck::check(const std::string& employeeId, const std::string& jobId) {
    return credentials(employeeId, jobId).access;
}

namespace {

/// SQLite makes a new database readable by everyone (less the umask) and gives its -wal and
/// -shm files the database's mode, so the file is made first, for its owner alone. A file that
/// exists keeps the mode its owner gave it.
void createPrivately(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::close(fd);
    }
}

} // namespace

struct SqliteStorage::Reader {
    explicit Reader(const std::string& path)
        : connection(path)
        , access(connection)
        , findToken(connection,
                    "SELECT employee_id, job_id FROM tokens WHERE digest = ?1 AND expires_at > ?2")
        , timeline(connection,
                   "SELECT kind, at, id FROM events "
                   "WHERE employee_id = ?1 AND job_id = ?2 AND kind IN (1, 2, 3, 4) AND at <= ?4 AND at >= "
                   "coalesce((SELECT max(at) FROM events "
                   "          WHERE employee_id = ?1 AND job_id = ?2 AND kind = 2 AND at <= ?3), ?5) "
                   "ORDER BY at, id")
        , timelines(connection,
                    "SELECT employee_id, job_id, kind, at, id FROM events e "
                    "WHERE kind IN (1, 2, 3, 4) AND at <= ?2 AND (?3 IS NULL OR employee_id = ?3) AND at >= "
                    "coalesce((SELECT max(at) FROM events o WHERE o.employee_id = e.employee_id "
                    "          AND o.job_id = e.job_id AND o.kind = 2 AND o.at <= ?1), ?4) "
                    "ORDER BY employee_id, job_id, at, id") {}

    Connection connection;
    AccessCheck access;
    Statement findToken;
    Statement timeline;
    Statement timelines;
};

/// A reader taken from the pool for one operation and given back at its end.
class SqliteStorage::ReaderLease {
public:
    ReaderLease(SqliteStorage& storage, std::unique_ptr<Reader> reader)
        : storage(storage)
        , reader(std::move(reader)) {}
    ~ReaderLease() {
        const std::lock_guard lock(storage.readersMutex);
        storage.idleReaders.push_back(std::move(reader));
    }
    ReaderLease(const ReaderLease&) = delete;
    ReaderLease& operator=(const ReaderLease&) = delete;

    Reader* operator->() const { return reader.get(); }

private:
    SqliteStorage& storage;
    std::unique_ptr<Reader> reader;
};

/// The writer thread's connection: it alone inserts events.
struct SqliteStorage::Writer {
    explicit Writer(const std::string& path)
        : connection(path)
        , access(connection)
        , findKey(connection, "SELECT id, kind, employee_id, job_id, at, ended_at, keystrokes, clicks "
                              "FROM events WHERE idempotency_key = ?1")
        , insertEvent(connection,
                      "INSERT INTO events (kind, employee_id, job_id, at, ended_at, keystrokes, clicks, "
                      "received_at, idempotency_key) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)") {}

    /// Within a batch, events are checked and inserted one after another in arrival order, so
    /// a key repeated inside one batch is seen.
    std::vector<StoreResult> write(const std::vector<PendingEvent>& batch) {
        std::vector<StoreResult> results;
        const auto receivedAt = std::chrono::duration_cast<std::chrono::seconds>(
                                    std::chrono::system_clock::now().time_since_epoch())
                                    .count();
        Transaction transaction(connection);
        for (const PendingEvent& event : batch) {
            results.push_back(writeOne(*event.report, *event.key, receivedAt));
        }
        transaction.commit();
        return results;
    }

    StoreResult writeOne(const EventReport& report, const std::string& key, std::int64_t receivedAt) {
        if (!key.empty()) {
            auto row = findKey.run();
            if (row.bind(1, key).step()) {
                EventReport stored;
                stored.kind = static_cast<EventKind>(row.integer(1));
                stored.employeeId = row.text(2);
                stored.jobId = row.text(3);
                stored.at = row.integer(4);
                stored.endedAt = row.integer(5);
                stored.keystrokes = row.integer(6);
                stored.clicks = row.integer(7);
                return {stored == report ? StoreOutcome::Replayed : StoreOutcome::KeyReused, row.integer(0)};
            }
        }
        switch (access.check(report.employeeId, report.jobId)) {
        case Access::Allowed:
            break;
        case Access::UnknownEmployee:
            return {StoreOutcome::UnknownEmployee, 0};
        case Access::JobNotAllowed:
            return {StoreOutcome::JobNotAllowed, 0};
        case Access::Failed:
            throw SqliteError("access check failed", SQLITE_ERROR);
        }
        auto row = insertEvent.run();
        row.bind(1, std::int64_t{static_cast<int>(report.kind)})
            .bind(2, report.employeeId)
            .bind(3, report.jobId)
            .bind(4, report.at)
            .bind(8, receivedAt);
        if (report.kind == EventKind::InputTrack) {
            row.bind(5, report.endedAt).bind(6, report.keystrokes).bind(7, report.clicks);
        }
        if (key.empty()) {
            row.bindNull(9);
        } else {
            row.bind(9, key);
        }
        row.step();
        return {StoreOutcome::Stored, connection.lastInsertId()};
    }

    Connection connection;
    AccessCheck access;
    Statement findKey;
    Statement insertEvent;
};

namespace {

// Services starting together on a new file race to switch it to WAL, and SQLite answers the
// loser "locked" at once rather than through the busy timeout: the switch is tried again a while.
void switchToWal(Connection& setup) {
    for (int attempt = 0;; ++attempt) {
        try {
            setup.exec("PRAGMA journal_mode = WAL");
            return;
        } catch (const SqliteError& e) {
            if ((e.code() & 0xff) != SQLITE_BUSY || attempt == 100)
                throw;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
}

} // namespace

SqliteStorage::SqliteStorage(const std::string& path)
    : path(path) {
    try {
        createPrivately(path);
        {
            Connection setup(path);
            switchToWal(setup);
            migrate(setup);
        }
        writerConnection = std::make_unique<Writer>(path);
    } catch (const SqliteError& e) {
        throw StorageError(e.what());
    }
    writer = std::make_unique<EventWriter>(
        [this](const std::vector<PendingEvent>& batch) { return writerConnection->write(batch); }, 512);
}

SqliteStorage::~SqliteStorage() = default;

SqliteStorage::ReaderLease SqliteStorage::lease() {
    std::unique_ptr<Reader> reader;
    {
        const std::lock_guard lock(readersMutex);
        if (!idleReaders.empty()) {
            reader = std::move(idleReaders.back());
            idleReaders.pop_back();
        }
    }
    if (!reader) {
        reader = std::make_unique<Reader>(path);
    }
    return ReaderLease(*this, std::move(reader));
}

StoreResult SqliteStorage::store(const EventReport& report, const std::string& idempotencyKey) {
    return writer->store(report, idempotencyKey);
}

CredentialsLookup SqliteStorage::credentials(const std::string& employeeId, const std::string& jobId) {
    try {
        return lease()->access.credentials(employeeId, jobId);
    } catch (const SqliteError&) {
        return {};
    }
}

std::optional<std::vector<JobTimeline>>
SqliteStorage::timelines(UnixSeconds from, UnixSeconds to, const std::optional<std::string>& employeeId) {
    try {
        auto reader = lease();
        auto row = reader->timelines.run();
        row.bind(1, from).bind(2, to).bind(4, std::numeric_limits<std::int64_t>::min());
        if (employeeId) {
            row.bind(3, *employeeId);
        }
        std::vector<JobTimeline> result;
        while (row.step()) {
            std::string employee = row.text(0);
            std::string job = row.text(1);
            if (result.empty() || result.back().employeeId != employee || result.back().jobId != job) {
                result.push_back({std::move(employee), std::move(job), {}});
            }
            result.back().events.push_back(
                {static_cast<EventKind>(row.integer(2)), row.integer(3), row.integer(4)});
        }
        return result;
    } catch (const SqliteError&) {
        return std::nullopt;
    }
}

TimelineLookup SqliteStorage::timeline(const std::string& employeeId, const std::string& jobId,
                                       UnixSeconds from, UnixSeconds to) {
    try {
        auto reader = lease();
        TimelineLookup lookup;
        lookup.access = reader->access.check(employeeId, jobId);
        if (lookup.access != Access::Allowed) {
            return lookup;
        }
        auto row = reader->timeline.run();
        row.bind(1, employeeId)
            .bind(2, jobId)
            .bind(3, from)
            .bind(4, to)
            .bind(5, std::numeric_limits<std::int64_t>::min());
        while (row.step()) {
            lookup.events.push_back({static_cast<EventKind>(row.integer(0)), row.integer(1), row.integer(2)});
        }
        return lookup;
    } catch (const SqliteError&) {
        return {};
    }
}

bool SqliteStorage::addToken(const std::string& digest, const TokenOwner& owner, UnixSeconds issuedAt,
                             UnixSeconds expiresAt) {
    try {
        auto reader = lease();
        Connection& db = reader->connection;
        Transaction transaction(db);
        Statement add(db, "INSERT INTO tokens (digest, employee_id, job_id, issued_at, expires_at) "
                          "VALUES (?1, ?2, ?3, ?4, ?5)");
        add.run()
            .bind(1, digest)
            .bind(2, owner.employeeId)
            .bind(3, owner.jobId)
            .bind(4, issuedAt)
            .bind(5, expiresAt)
            .step();
        // The new token is never the one dropped, even among tokens issued in the same second.
        Statement prune(db, "DELETE FROM tokens WHERE employee_id = ?1 AND (expires_at <= ?3 OR "
                            "digest NOT IN (SELECT digest FROM tokens WHERE employee_id = ?1 "
                            "ORDER BY digest = ?2 DESC, issued_at DESC LIMIT ?4))");
        prune.run()
            .bind(1, owner.employeeId)
            .bind(2, digest)
            .bind(3, issuedAt)
            .bind(4, std::int64_t{maxTokensPerEmployee})
            .step();
        transaction.commit();
        return true;
    } catch (const SqliteError&) {
        return false;
    }
}

TokenLookup SqliteStorage::token(const std::string& digest, UnixSeconds now) {
    try {
        auto reader = lease();
        auto row = reader->findToken.run();
        if (!row.bind(1, digest).bind(2, now).step()) {
            return {TokenStatus::Unknown, {}};
        }
        return {TokenStatus::Valid, {row.text(0), row.text(1)}};
    } catch (const SqliteError&) {
        return {};
    }
}

AddOutcome SqliteStorage::addEmployee(const std::string& employeeId, const std::string& passwordHash,
                                      const std::vector<std::string>& jobs) {
    try {
        auto reader = lease();
        Connection& db = reader->connection;
        Transaction transaction(db);
        if (reader->access.check(employeeId, "") != Access::UnknownEmployee) {
            return AddOutcome::AlreadyExists;
        }
        const auto now = std::chrono::duration_cast<std::chrono::seconds>(
            std::chrono::system_clock::now().time_since_epoch());
        Statement addEmployee(db,
                              "INSERT INTO employees (id, password_hash, created_at) VALUES (?1, ?2, ?3)");
        addEmployee.run().bind(1, employeeId).bind(2, passwordHash).bind(3, std::int64_t{now.count()}).step();
        Statement addJob(db, "INSERT OR IGNORE INTO employee_jobs (employee_id, job_id) VALUES (?1, ?2)");
        for (const std::string& job : jobs) {
            addJob.run().bind(1, employeeId).bind(2, job).step();
        }
        transaction.commit();
        return AddOutcome::Added;
    } catch (const SqliteError&) {
        return AddOutcome::Failed;
    }
}

RemoveOutcome SqliteStorage::removeEmployee(const std::string& employeeId) {
    try {
        auto reader = lease();
        Statement remove(reader->connection, "DELETE FROM employees WHERE id = ?1");
        remove.run().bind(1, employeeId).step();
        return sqlite3_changes(reader->connection.handle()) > 0 ? RemoveOutcome::Removed
                                                                : RemoveOutcome::NotFound;
    } catch (const SqliteError&) {
        return RemoveOutcome::Failed;
    }
}

std::optional<std::vector<Employee>> SqliteStorage::employees() {
    try {
        auto reader = lease();
        Statement list(reader->connection,
                       "SELECT e.id, j.job_id FROM employees e "
                       "LEFT JOIN employee_jobs j ON j.employee_id = e.id ORDER BY e.id, j.job_id");
        std::vector<Employee> result;
        auto row = list.run();
        while (row.step()) {
            std::string id = row.text(0);
            if (result.empty() || result.back().id != id) {
                result.push_back({std::move(id), {}});
            }
            if (!row.isNull(1)) {
                result.back().jobs.push_back(row.text(1));
            }
        }
        return result;
    } catch (const SqliteError&) {
        return std::nullopt;
    }
}

std::unique_ptr<VerifyThrottle> SqliteStorage::verifyThrottle(const Clock& clock, VerifyThrottle::Rule rule) {
    return std::make_unique<InMemoryThrottle>(clock, rule);
}

} // namespace corlune::server
