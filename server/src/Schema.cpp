#include "Schema.h"

#include <array>
#include <string>

namespace corlune::server {

namespace {

// Step N takes a database from version N to N + 1. Steps are never edited once released:
// a change to the schema is a new step at the end.
constexpr std::array steps = {
    R"sql(
    CREATE TABLE employees (
        id            TEXT PRIMARY KEY NOT NULL,
        password_hash TEXT NOT NULL,
        created_at    INTEGER NOT NULL
    ) STRICT;
    CREATE TABLE employee_jobs (
        employee_id TEXT NOT NULL REFERENCES employees(id) ON DELETE CASCADE,
        job_id      TEXT NOT NULL,
        PRIMARY KEY (employee_id, job_id)
    ) STRICT, WITHOUT ROWID;
    -- Events outlive their employee: removing an employee keeps the history.
    -- kind: 1 clock-in, 2 clock-out, 3 break start, 4 break stop, 5 input counts.
    -- at: the instant (input: start of the window), ended_at/keystrokes/clicks: input only.
    CREATE TABLE events (
        id              INTEGER PRIMARY KEY,
        kind            INTEGER NOT NULL CHECK (kind BETWEEN 1 AND 5),
        employee_id     TEXT NOT NULL,
        job_id          TEXT NOT NULL,
        at              INTEGER NOT NULL,
        ended_at        INTEGER,
        keystrokes      INTEGER CHECK (keystrokes >= 0),
        clicks          INTEGER CHECK (clicks >= 0),
        received_at     INTEGER NOT NULL,
        idempotency_key TEXT UNIQUE
    ) STRICT;
    CREATE INDEX events_by_timeline ON events (employee_id, job_id, kind, at);
    )sql",
    // Sign-in tokens, kept only as digests. Removing an employee revokes their tokens.
    R"sql(
    CREATE TABLE tokens (
        digest      TEXT PRIMARY KEY NOT NULL,
        employee_id TEXT NOT NULL REFERENCES employees(id) ON DELETE CASCADE,
        job_id      TEXT NOT NULL,
        issued_at   INTEGER NOT NULL,
        expires_at  INTEGER NOT NULL
    ) STRICT, WITHOUT ROWID;
    CREATE INDEX tokens_by_employee ON tokens (employee_id, issued_at);
    )sql",
};

} // namespace

int latestSchemaVersion() {
    return static_cast<int>(steps.size());
}

int schemaVersion(Connection& connection) {
    Statement exists(connection,
                     "SELECT count(*) FROM sqlite_schema WHERE type = 'table' AND name = 'schema_version'");
    auto check = exists.run();
    if (!check.step() || check.integer(0) == 0) {
        return 0;
    }
    Statement read(connection, "SELECT coalesce(max(version), 0) FROM schema_version");
    auto row = read.run();
    return row.step() ? static_cast<int>(row.integer(0)) : 0;
}

void migrate(Connection& connection) {
    Transaction transaction(connection);
    connection.exec("CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL) STRICT");
    const int version = schemaVersion(connection);
    if (version > latestSchemaVersion()) {
        throw SqliteError("the database has schema version " + std::to_string(version) +
                              ", newer than this program's " + std::to_string(latestSchemaVersion()),
                          SQLITE_ERROR);
    }
    for (int step = version; step < latestSchemaVersion(); ++step) {
        connection.exec(steps[static_cast<std::size_t>(step)]);
    }
    if (version != latestSchemaVersion()) {
        connection.exec("DELETE FROM schema_version");
        Statement record(connection, "INSERT INTO schema_version (version) VALUES (?1)");
        record.run().bind(1, std::int64_t{latestSchemaVersion()}).step();
    }
    transaction.commit();
}

} // namespace corlune::server
