#include "PostgresStorage.h"

#include "PostgresSchema.h"
#include "PostgresThrottle.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <numeric>

namespace corlune::server {

namespace {

struct Sql {
    const char* name;
    const char* text;
};

// Prepared on every connection. IDs are compared byte by byte (COLLATE "C") where they are
// ordered, as SQLite orders them, whatever the database's collation.
constexpr Sql statements[] = {
    {"credentials", "SELECT e.password_hash, EXISTS (SELECT 1 FROM employee_jobs j "
                    "WHERE j.employee_id = e.id AND j.job_id = $2) FROM employees e WHERE e.id = $1"},
    {"timeline", "SELECT kind, at, id FROM events "
                 "WHERE employee_id = $1 AND job_id = $2 AND kind IN (1, 2, 3, 4) AND at <= $4 AND at >= "
                 "coalesce((SELECT max(at) FROM events "
                 "          WHERE employee_id = $1 AND job_id = $2 AND kind = 2 AND at <= $3), $5) "
                 "ORDER BY at, id"},
    {"timelines", "SELECT employee_id, job_id, kind, at, id FROM events e "
                  "WHERE kind IN (1, 2, 3, 4) AND at <= $2 AND ($3::text IS NULL OR employee_id = $3::text) "
                  "AND at >= coalesce((SELECT max(at) FROM events o WHERE o.employee_id = e.employee_id "
                  "                    AND o.job_id = e.job_id AND o.kind = 2 AND o.at <= $1), $4) "
                  "ORDER BY employee_id COLLATE \"C\", job_id COLLATE \"C\", at, id"},
    {"token", "SELECT employee_id, job_id FROM tokens WHERE digest = $1 AND expires_at > $2"},
    {"add_token", "INSERT INTO tokens (digest, employee_id, job_id, issued_at, expires_at) "
                  "VALUES ($1, $2, $3, $4, $5)"},
    // The new token is never the one dropped, even among tokens issued in the same second.
    {"prune_tokens", "DELETE FROM tokens WHERE employee_id = $1 AND (expires_at <= $3 OR "
                     "digest NOT IN (SELECT digest FROM tokens WHERE employee_id = $1 "
                     "ORDER BY digest = $2 DESC, issued_at DESC LIMIT $4))"},
    {"add_employee", "INSERT INTO employees (id, password_hash, created_at) VALUES ($1, $2, $3) "
                     "ON CONFLICT (id) DO NOTHING RETURNING 1"},
    {"add_job", "INSERT INTO employee_jobs (employee_id, job_id) VALUES ($1, $2) ON CONFLICT DO NOTHING"},
    {"remove_employee", "DELETE FROM employees WHERE id = $1 RETURNING 1"},
    {"employees", "SELECT e.id, j.job_id FROM employees e LEFT JOIN employee_jobs j ON j.employee_id = e.id "
                  "ORDER BY e.id COLLATE \"C\", j.job_id COLLATE \"C\""},
    // One event: a key already stored is read back (2 and the stored event), else the
    // employee and job are checked (3 unknown employee, 4 job not allowed), else the event is
    // inserted (1 and its id). The unique key settles a race with another instance: the
    // insert then waits for that instance's transaction and does nothing, and no row comes
    // back; find_event reads the winner once this batch is committed.
    {"store_event",
     "WITH existing AS ("
     "  SELECT id, kind, employee_id, job_id, at, ended_at, keystrokes, clicks "
     "  FROM events WHERE idempotency_key = $9::text"
     "), access AS ("
     "  SELECT EXISTS (SELECT 1 FROM employees WHERE id = $2::text) AS employee, "
     "         EXISTS (SELECT 1 FROM employee_jobs WHERE employee_id = $2::text AND job_id = $3::text) AS job"
     "), inserted AS ("
     "  INSERT INTO events (kind, employee_id, job_id, at, ended_at, keystrokes, clicks, received_at, "
     "                      idempotency_key) "
     "  SELECT $1::smallint, $2::text, $3::text, $4::bigint, $5::bigint, $6::bigint, $7::bigint, $8::bigint, "
     "         $9::text FROM access WHERE access.job AND NOT EXISTS (SELECT 1 FROM existing) "
     "  ON CONFLICT (idempotency_key) DO NOTHING RETURNING id"
     ") "
     "SELECT 1, id, NULL::smallint, NULL::text, NULL::text, NULL::bigint, NULL::bigint, NULL::bigint, "
     "       NULL::bigint FROM inserted "
     "UNION ALL SELECT 2, id, kind, employee_id, job_id, at, ended_at, keystrokes, clicks FROM existing "
     "UNION ALL SELECT CASE WHEN employee THEN 4 ELSE 3 END, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL "
     "          FROM access WHERE NOT job AND NOT EXISTS (SELECT 1 FROM existing)"},
    {"find_event", "SELECT 2, id, kind, employee_id, job_id, at, ended_at, keystrokes, clicks "
                   "FROM events WHERE idempotency_key = $1"},
    {"throttle_begin", "SELECT verify_throttle_begin($1, $2, $3, $4, $5)"},
    {"throttle_failed", "UPDATE verify_throttle SET failures = failures + 1, last_try = $2, "
                        "not_before = $2 + least($4::bigint, $3::bigint << least(failures, 30)), "
                        "checking_until = 0, touched = nextval('verify_throttle_touches') WHERE pair = $1"},
    {"throttle_not_checked", "UPDATE verify_throttle SET checking_until = 0 WHERE pair = $1"},
    {"throttle_succeeded", "DELETE FROM verify_throttle WHERE pair = $1"},
};

void prepareAll(PgConnection& connection) {
    for (const Sql& statement : statements) {
        connection.prepare(statement.name, statement.text);
    }
}

UnixSeconds unixNow() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

/// A row of store_event or find_event as its outcome, the stored event compared with `report`.
StoreResult outcomeOf(const PgResult& answer, const EventReport& report) {
    switch (answer.integer(0, 0)) {
    case 1:
        return {StoreOutcome::Stored, answer.integer(0, 1)};
    case 3:
        return {StoreOutcome::UnknownEmployee, 0};
    case 4:
        return {StoreOutcome::JobNotAllowed, 0};
    default:
        break;
    }
    EventReport stored;
    stored.kind = static_cast<EventKind>(answer.integer(0, 2));
    stored.employeeId = answer.text(0, 3);
    stored.jobId = answer.text(0, 4);
    stored.at = answer.integer(0, 5);
    stored.endedAt = answer.integer(0, 6);
    stored.keystrokes = answer.integer(0, 7);
    stored.clicks = answer.integer(0, 8);
    return {stored == report ? StoreOutcome::Replayed : StoreOutcome::KeyReused, answer.integer(0, 1)};
}

Access accessOf(const PgResult& credentials) {
    if (credentials.rows() == 0) {
        return Access::UnknownEmployee;
    }
    return credentials.boolean(0, 1) ? Access::Allowed : Access::JobNotAllowed;
}

// Beyond this many events a pipeline's answers could fill the socket's buffers before they are
// read, and both ends would wait for each other.
constexpr std::size_t maxBatch = 128;

} // namespace

PostgresStorage::PostgresStorage(const std::string& uri, std::size_t connections)
    : pool(uri, prepareAll, std::max<std::size_t>(connections, 2) - 1, std::chrono::seconds(10))
    , writer([this](const std::vector<PendingEvent>& batch) { return writeBatch(batch); }, maxBatch) {
    try {
        PgConnection setup(uri);
        migratePostgres(setup);
    } catch (const PgError& e) {
        throw StorageError(e.what());
    }
}

PostgresStorage::~PostgresStorage() = default;

std::vector<StoreResult> PostgresStorage::writeBatch(const std::vector<PendingEvent>& batch) {
    if (!writerConnection || !writerConnection->usable()) {
        writerConnection.reset();
        writerConnection = pool.connect();
    }
    // Every instance takes the keys of a batch in one order, so two batches that share keys
    // wait for each other in that order and never each for the other.
    std::vector<std::size_t> order(batch.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return *batch[a].key < *batch[b].key; });
    const UnixSeconds receivedAt = unixNow();
    std::vector<std::pair<const char*, PgParams>> sent;
    for (const std::size_t i : order) {
        const EventReport& report = *batch[i].report;
        PgParams params;
        params.integer(static_cast<int>(report.kind))
            .id(report.employeeId)
            .id(report.jobId)
            .integer(report.at);
        if (report.kind == EventKind::InputTrack) {
            params.integer(report.endedAt).integer(report.keystrokes).integer(report.clicks);
        } else {
            params.null().null().null();
        }
        params.integer(receivedAt);
        if (batch[i].key->empty()) {
            params.null();
        } else {
            params.text(*batch[i].key);
        }
        sent.emplace_back("store_event", std::move(params));
    }
    const std::vector<PgResult> answers = writerConnection->pipeline(sent);
    std::vector<StoreResult> results(batch.size());
    for (std::size_t n = 0; n < order.size(); ++n) {
        const PendingEvent& event = batch[order[n]];
        if (answers[n].rows() > 0) {
            results[order[n]] = outcomeOf(answers[n], *event.report);
            continue;
        }
        try {
            const PgResult winner = writerConnection->run("find_event", PgParams().text(*event.key));
            if (winner.rows() > 0) {
                results[order[n]] = outcomeOf(winner, *event.report);
            }
        } catch (const PgError&) {
            // Failed: the client sends the event again with its key and is answered then.
        }
    }
    return results;
}

StoreResult PostgresStorage::store(const EventReport& report, const std::string& idempotencyKey) {
    return writer.store(report, idempotencyKey);
}

CredentialsLookup PostgresStorage::credentials(const std::string& employeeId, const std::string& jobId) {
    try {
        const PgResult answer = pool.lease()->run("credentials", PgParams().id(employeeId).id(jobId));
        const Access access = accessOf(answer);
        return {access, access == Access::UnknownEmployee ? std::string() : answer.text(0, 0)};
    } catch (const PgError&) {
        return {};
    }
}

TimelineLookup PostgresStorage::timeline(const std::string& employeeId, const std::string& jobId,
                                         UnixSeconds from, UnixSeconds to) {
    try {
        auto connection = pool.lease();
        TimelineLookup lookup;
        lookup.access = accessOf(connection->run("credentials", PgParams().id(employeeId).id(jobId)));
        if (lookup.access != Access::Allowed) {
            return lookup;
        }
        const PgResult rows =
            connection->run("timeline", PgParams()
                                            .id(employeeId)
                                            .id(jobId)
                                            .integer(from)
                                            .integer(to)
                                            .integer(std::numeric_limits<std::int64_t>::min()));
        for (int row = 0; row < rows.rows(); ++row) {
            lookup.events.push_back(
                {static_cast<EventKind>(rows.integer(row, 0)), rows.integer(row, 1), rows.integer(row, 2)});
        }
        return lookup;
    } catch (const PgError&) {
        return {};
    }
}

std::optional<std::vector<JobTimeline>>
PostgresStorage::timelines(UnixSeconds from, UnixSeconds to, const std::optional<std::string>& employeeId) {
    try {
        PgParams params;
        params.integer(from).integer(to);
        if (employeeId) {
            params.id(*employeeId);
        } else {
            params.null();
        }
        params.integer(std::numeric_limits<std::int64_t>::min());
        const PgResult rows = pool.lease()->run("timelines", params);
        std::vector<JobTimeline> result;
        for (int row = 0; row < rows.rows(); ++row) {
            std::string employee = rows.text(row, 0);
            std::string job = rows.text(row, 1);
            if (result.empty() || result.back().employeeId != employee || result.back().jobId != job) {
                result.push_back({std::move(employee), std::move(job), {}});
            }
            result.back().events.push_back(
                {static_cast<EventKind>(rows.integer(row, 2)), rows.integer(row, 3), rows.integer(row, 4)});
        }
        return result;
    } catch (const PgError&) {
        return std::nullopt;
    }
}

bool PostgresStorage::addToken(const std::string& digest, const TokenOwner& owner, UnixSeconds issuedAt,
                               UnixSeconds expiresAt) {
    try {
        PgParams add;
        add.text(digest).text(owner.employeeId).text(owner.jobId).integer(issuedAt).integer(expiresAt);
        PgParams prune;
        prune.text(owner.employeeId).text(digest).integer(issuedAt).integer(maxTokensPerEmployee);
        pool.lease()->pipeline({{"add_token", std::move(add)}, {"prune_tokens", std::move(prune)}});
        return true;
    } catch (const PgError&) {
        return false;
    }
}

TokenLookup PostgresStorage::token(const std::string& digest, UnixSeconds now) {
    try {
        const PgResult answer = pool.lease()->run("token", PgParams().text(digest).integer(now));
        if (answer.rows() == 0) {
            return {TokenStatus::Unknown, {}};
        }
        return {TokenStatus::Valid, {answer.text(0, 0), answer.text(0, 1)}};
    } catch (const PgError&) {
        return {};
    }
}

AddOutcome PostgresStorage::addEmployee(const std::string& employeeId, const std::string& passwordHash,
                                        const std::vector<std::string>& jobs) {
    try {
        auto connection = pool.lease();
        connection->exec("BEGIN");
        if (connection->run("add_employee", PgParams().text(employeeId).text(passwordHash).integer(unixNow()))
                .rows() == 0) {
            connection->exec("ROLLBACK");
            return AddOutcome::AlreadyExists;
        }
        for (const std::string& job : jobs) {
            connection->run("add_job", PgParams().text(employeeId).text(job));
        }
        connection->exec("COMMIT");
        return AddOutcome::Added;
    } catch (const PgError&) {
        // A transaction left open leaves the connection unusable: the pool drops it.
        return AddOutcome::Failed;
    }
}

RemoveOutcome PostgresStorage::removeEmployee(const std::string& employeeId) {
    try {
        return pool.lease()->run("remove_employee", PgParams().id(employeeId)).rows() > 0
                   ? RemoveOutcome::Removed
                   : RemoveOutcome::NotFound;
    } catch (const PgError&) {
        return RemoveOutcome::Failed;
    }
}

std::optional<std::vector<Employee>> PostgresStorage::employees() {
    try {
        const PgResult rows = pool.lease()->run("employees", PgParams());
        std::vector<Employee> result;
        for (int row = 0; row < rows.rows(); ++row) {
            std::string id = rows.text(row, 0);
            if (result.empty() || result.back().id != id) {
                result.push_back({std::move(id), {}});
            }
            if (!rows.isNull(row, 1)) {
                result.back().jobs.push_back(rows.text(row, 1));
            }
        }
        return result;
    } catch (const PgError&) {
        return std::nullopt;
    }
}

std::unique_ptr<VerifyThrottle> PostgresStorage::verifyThrottle(const Clock& clock,
                                                                VerifyThrottle::Rule rule) {
    return std::make_unique<PostgresThrottle>(pool, clock, rule);
}

} // namespace corlune::server
