#include "StoredEvents.h"

#include <sqlite3.h>

#include <filesystem>
#include <sstream>
#include <stdexcept>

namespace {

std::optional<std::int64_t> optionalInteger(sqlite3_stmt* statement, int column) {
    if (sqlite3_column_type(statement, column) == SQLITE_NULL)
        return std::nullopt;
    return sqlite3_column_int64(statement, column);
}

std::string text(sqlite3_stmt* statement, int column) {
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    return bytes ? std::string(bytes, static_cast<std::size_t>(sqlite3_column_bytes(statement, column)))
                 : std::string();
}

} // namespace

const char* nameOf(StoredEvent::Kind kind) {
    switch (kind) {
    case StoredEvent::Kind::ClockIn:
        return "clock-in";
    case StoredEvent::Kind::ClockOut:
        return "clock-out";
    case StoredEvent::Kind::BreakStart:
        return "break start";
    case StoredEvent::Kind::BreakStop:
        return "break stop";
    case StoredEvent::Kind::Inputs:
        return "inputs";
    }
    return "?";
}

std::string describe(const StoredEvent& event) {
    std::ostringstream out;
    out << '#' << event.id << ' ' << nameOf(event.kind) << " at " << event.at;
    if (event.kind == StoredEvent::Kind::Inputs) {
        out << ".." << event.endedAt.value_or(-1) << " keys " << event.keystrokes.value_or(-1) << " clicks "
            << event.clicks.value_or(-1);
    }
    out << " (" << event.employeeId << '/' << event.jobId << ", key " << event.idempotencyKey.value_or("none")
        << ')';
    return out.str();
}

std::string describe(const std::vector<StoredEvent>& events) {
    std::string text;
    for (const StoredEvent& event : events)
        text += "  " + describe(event) + '\n';
    return text.empty() ? "  (none)\n" : text;
}

std::vector<StoredEvent> readStoredEvents(const std::string& path) {
    if (!std::filesystem::exists(path))
        return {};
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        const std::string error = sqlite3_errmsg(db);
        sqlite3_close(db);
        throw std::runtime_error("cannot open " + path + ": " + error);
    }
    // The service commits while we read; a moment's wait beats a spurious failure.
    sqlite3_busy_timeout(db, 5000);
    sqlite3_stmt* statement = nullptr;
    std::vector<StoredEvent> events;
    int rc = sqlite3_prepare_v2(db,
                                "SELECT id, kind, employee_id, job_id, at, ended_at, keystrokes, clicks, "
                                "idempotency_key FROM events ORDER BY id",
                                -1, &statement, nullptr);
    // Before the service has made its schema there is nothing to read.
    if (rc == SQLITE_ERROR) {
        sqlite3_close(db);
        return {};
    }
    while (rc == SQLITE_OK && (rc = sqlite3_step(statement)) == SQLITE_ROW) {
        StoredEvent event;
        event.id = sqlite3_column_int64(statement, 0);
        event.kind = static_cast<StoredEvent::Kind>(sqlite3_column_int(statement, 1));
        event.employeeId = text(statement, 2);
        event.jobId = text(statement, 3);
        event.at = sqlite3_column_int64(statement, 4);
        event.endedAt = optionalInteger(statement, 5);
        event.keystrokes = optionalInteger(statement, 6);
        event.clicks = optionalInteger(statement, 7);
        if (sqlite3_column_type(statement, 8) != SQLITE_NULL)
            event.idempotencyKey = text(statement, 8);
        events.push_back(event);
        rc = SQLITE_OK;
    }
    const std::string error = sqlite3_errmsg(db);
    sqlite3_finalize(statement);
    sqlite3_close(db);
    if (rc != SQLITE_DONE)
        throw std::runtime_error("cannot read the events of " + path + ": " + error);
    return events;
}
