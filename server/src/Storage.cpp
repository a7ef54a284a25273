#include "Storage.h"

#include "EventWriter.h"
#include "Schema.h"

#include <chrono>
#include <fcntl.h>
#include <limits>
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

struct Storage::Reader {
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
                   "ORDER BY at, id") {}

    Connection connection;
    AccessCheck access;
    Statement findToken;
    Statement timeline;
};

/// A reader taken from the pool for one operation and given back at its end.
class Storage::ReaderLease {
public:
    ReaderLease(Storage& storage, std::unique_ptr<Reader> reader)
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
    Storage& storage;
    std::unique_ptr<Reader> reader;
};

Storage::Storage(const std::string& path)
    : path(path) {
    createPrivately(path);
    {
        Connection setup(path);
        setup.exec("PRAGMA journal_mode = WAL");
        migrate(setup);
    }
    writer = std::make_unique<EventWriter>(path);
}

Storage::~Storage() = default;

Storage::ReaderLease Storage::lease() {
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

StoreResult Storage::store(const EventReport& report, const std::string& idempotencyKey) {
    return writer->store(report, idempotencyKey);
}

CredentialsLookup Storage::credentials(const std::string& employeeId, const std::string& jobId) {
    try {
        return lease()->access.credentials(employeeId, jobId);
    } catch (const SqliteError&) {
        return {};
    }
}

TimelineLookup Storage::timeline(const std::string& employeeId, const std::string& jobId, UnixSeconds from,
                                 UnixSeconds to) {
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

bool Storage::addToken(const std::string& digest, const TokenOwner& owner, UnixSeconds issuedAt,
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

TokenLookup Storage::token(const std::string& digest, UnixSeconds now) {
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

AddOutcome Storage::addEmployee(const std::string& employeeId, const std::string& passwordHash,
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

RemoveOutcome Storage::removeEmployee(const std::string& employeeId) {
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

std::optional<std::vector<Employee>> Storage::employees() {
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

} // namespace corlune::server
