#include "PostgresSchema.h"

#include <array>
#include <string>

namespace corlune::server {

namespace {

// Step N takes a database from version N to N + 1. Steps are never edited once released:
// a change to the schema is a new step at the end. Times are seconds since 1970 unless a
// column says otherwise.
constexpr std::array steps = {
    R"sql(
    CREATE TABLE employees (
        id            text PRIMARY KEY,
        password_hash text NOT NULL,
        created_at    bigint NOT NULL
    );
    CREATE TABLE employee_jobs (
        employee_id text NOT NULL REFERENCES employees(id) ON DELETE CASCADE,
        job_id      text NOT NULL,
        PRIMARY KEY (employee_id, job_id)
    );
    -- Events outlive their employee: removing an employee keeps the history.
    -- kind: 1 clock-in, 2 clock-out, 3 break start, 4 break stop, 5 input counts.
    -- at: the instant (input: start of the window), ended_at/keystrokes/clicks: input only.
    -- id: the order of arrival, across every instance.
    CREATE TABLE events (
        id              bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
        kind            smallint NOT NULL CHECK (kind BETWEEN 1 AND 5),
        employee_id     text NOT NULL,
        job_id          text NOT NULL,
        at              bigint NOT NULL,
        ended_at        bigint,
        keystrokes      bigint CHECK (keystrokes >= 0),
        clicks          bigint CHECK (clicks >= 0),
        received_at     bigint NOT NULL,
        idempotency_key text UNIQUE
    );
    CREATE INDEX events_by_timeline ON events (employee_id, job_id, kind, at);
    -- Sign-in tokens, kept only as digests. Removing an employee revokes their tokens.
    CREATE TABLE tokens (
        digest      text PRIMARY KEY,
        employee_id text NOT NULL REFERENCES employees(id) ON DELETE CASCADE,
        job_id      text NOT NULL,
        issued_at   bigint NOT NULL,
        expires_at  bigint NOT NULL
    );
    CREATE INDEX tokens_by_employee ON tokens (employee_id, issued_at);
    -- The sign-in slow-down every instance shares: one row per client address and employee
    -- ID ("pair": the address, a NUL, the ID as sent). Times in milliseconds since 1970;
    -- checking_until lies ahead while a check runs, a lease that an instance which dies
    -- mid-check cannot hold for ever. touched orders the pairs by their last try.
    CREATE SEQUENCE verify_throttle_touches;
    CREATE TABLE verify_throttle (
        pair           bytea PRIMARY KEY,
        failures       integer NOT NULL DEFAULT 0,
        last_try       bigint NOT NULL,
        not_before     bigint NOT NULL DEFAULT 0,
        checking_until bigint NOT NULL DEFAULT 0,
        touched        bigint NOT NULL DEFAULT nextval('verify_throttle_touches')
    );
    CREATE INDEX verify_throttle_by_last_try ON verify_throttle (last_try);
    CREATE INDEX verify_throttle_by_touch ON verify_throttle (touched);
    -- The start of a check: 0 when it may run now (the pair is then being checked until
    -- p_now + p_lease), else the milliseconds to wait. Pairs not tried for p_forget are
    -- forgotten; a new pair makes room among at most p_max by dropping those touched
    -- longest ago that are not being checked.
    CREATE FUNCTION verify_throttle_begin(p_pair bytea, p_now bigint, p_lease bigint, p_forget bigint,
                                          p_max bigint) RETURNS bigint LANGUAGE plpgsql AS $$
    DECLARE
        known verify_throttle%ROWTYPE;
        excess bigint;
    BEGIN
        DELETE FROM verify_throttle WHERE last_try <= p_now - p_forget AND checking_until <= p_now;
        SELECT * INTO known FROM verify_throttle WHERE pair = p_pair FOR UPDATE;
        IF FOUND THEN
            IF known.checking_until > p_now THEN
                RETURN 1000;
            END IF;
            IF known.not_before > p_now THEN
                RETURN known.not_before - p_now;
            END IF;
            UPDATE verify_throttle SET checking_until = p_now + p_lease, last_try = p_now,
                                       touched = nextval('verify_throttle_touches')
                WHERE pair = p_pair;
            RETURN 0;
        END IF;
        SELECT count(*) - p_max + 1 INTO excess FROM verify_throttle;
        IF excess > 0 THEN
            DELETE FROM verify_throttle WHERE pair IN (
                SELECT pair FROM verify_throttle WHERE checking_until <= p_now ORDER BY touched LIMIT excess);
        END IF;
        INSERT INTO verify_throttle (pair, last_try, checking_until)
            SELECT p_pair, p_now, p_now + p_lease WHERE (SELECT count(*) FROM verify_throttle) < p_max
            ON CONFLICT (pair) DO NOTHING;
        -- A full table of pairs being checked, or the same pair begun by another instance.
        RETURN CASE WHEN FOUND THEN 0 ELSE 1000 END;
    END
    $$;
    )sql",
};

// Held for the migration's transaction: instances that start together take turns.
constexpr const char* lockSchema = "SELECT pg_advisory_xact_lock(4859228333108258132)";

} // namespace

int latestPostgresSchemaVersion() {
    return static_cast<int>(steps.size());
}

void migratePostgres(PgConnection& connection) {
    connection.exec("BEGIN");
    connection.exec(lockSchema);
    connection.exec("CREATE TABLE IF NOT EXISTS schema_version (version integer NOT NULL)");
    const auto version = static_cast<int>(
        connection.exec("SELECT coalesce(max(version), 0) FROM schema_version").integer(0, 0));
    if (version > latestPostgresSchemaVersion()) {
        throw PgError("the database has schema version " + std::to_string(version) +
                      ", newer than this program's " + std::to_string(latestPostgresSchemaVersion()));
    }
    for (int step = version; step < latestPostgresSchemaVersion(); ++step) {
        connection.exec(steps[static_cast<std::size_t>(step)]);
    }
    if (version != latestPostgresSchemaVersion()) {
        connection.exec("DELETE FROM schema_version");
        connection.prepare("record_schema_version", "INSERT INTO schema_version (version) VALUES ($1)");
        connection.run("record_schema_version", PgParams().integer(latestPostgresSchemaVersion()));
    }
    connection.exec("COMMIT");
}

} // namespace corlune::server
