#include "StoredEvents.h"

#include <sqlite3.h>

#include <set>
#include <sstream>
#include <stdexcept>

namespace {

const char* const kindNames[] = {"?", "clock-in", "clock-out", "break start", "break stop", "inputs"};

std::string text(sqlite3_stmt* statement, int column) {
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    return bytes ? bytes : "";
}

std::int64_t integer(sqlite3_stmt* statement, int column) {
    return sqlite3_column_type(statement, column) == SQLITE_NULL ? -1
                                                                 : sqlite3_column_int64(statement, column);
}

bool within(std::int64_t value, std::int64_t from, std::int64_t to) {
    return value >= from && value <= to;
}

} // namespace

std::vector<StoredEvent> storedEvents(const std::string& path) {
    sqlite3* db = nullptr;
    std::vector<StoredEvent> events;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return events;
    }
    // The service commits while this reads: a moment's wait beats a spurious failure.
    sqlite3_busy_timeout(db, 5000);
    sqlite3_stmt* select = nullptr;
    if (sqlite3_prepare_v2(
            db,
            "SELECT kind, employee_id, job_id, at, ended_at, keystrokes, clicks, idempotency_key "
            "FROM events ORDER BY id",
            -1, &select, nullptr) == SQLITE_OK) {
        int rc = SQLITE_OK;
        while ((rc = sqlite3_step(select)) == SQLITE_ROW) {
            events.push_back({static_cast<StoredEvent::Kind>(sqlite3_column_int(select, 0)), text(select, 1),
                              text(select, 2), integer(select, 3), integer(select, 4), integer(select, 5),
                              integer(select, 6), text(select, 7)});
        }
        if (rc != SQLITE_DONE)
            throw std::runtime_error("cannot read the events of " + path + ": " + sqlite3_errmsg(db));
    }
    sqlite3_finalize(select);
    sqlite3_close(db);
    return events;
}

std::string mismatch(const std::vector<StoredEvent>& stored, const std::vector<ExpectedEvent>& expected,
                     const std::string& employeeId, const std::string& jobId) {
    std::ostringstream out;
    std::set<std::string> keys;
    bool differs = false;
    for (std::size_t i = 0; i < std::max(stored.size(), expected.size()); ++i) {
        const StoredEvent* got = i < stored.size() ? &stored[i] : nullptr;
        const ExpectedEvent* want = i < expected.size() ? &expected[i] : nullptr;
        if (got)
            out << "  stored   " << kindNames[static_cast<int>(got->kind)] << " at " << got->at << ".."
                << got->endedAt << " keys " << got->keystrokes << " clicks " << got->clicks << " ("
                << got->employeeId << '/' << got->jobId << ", key " << got->idempotencyKey << ")\n";
        if (want)
            out << "  expected " << kindNames[static_cast<int>(want->kind)] << " at " << want->from << '-'
                << want->to << ".." << want->endedFrom << '-' << want->endedTo << " keys " << want->keystrokes
                << " clicks " << want->clicks << '\n';
        const char* problem = !want  ? "one event too many"
                              : !got ? "missing"
                              : got->employeeId != employeeId || got->jobId != jobId
                                  ? "another employee or job"
                              : got->idempotencyKey.empty() || !keys.insert(got->idempotencyKey).second
                                  ? "no Idempotency-Key of its own"
                              : got->kind != want->kind || !within(got->at, want->from, want->to) ||
                                      !within(got->endedAt, want->endedFrom, want->endedTo) ||
                                      got->keystrokes != want->keystrokes || got->clicks != want->clicks
                                  ? "differs"
                                  : nullptr;
        if (problem) {
            differs = true;
            out << "  ^ event " << i << ": " << problem << '\n';
        }
    }
    return differs ? out.str() : std::string();
}
