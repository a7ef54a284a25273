#pragma once

#include <cstdint>
#include <string>
#include <vector>

/// One row of the service's events table.
struct StoredEvent {
    /// The service's own numbering.
    enum class Kind { ClockIn = 1, ClockOut = 2, BreakStart = 3, BreakStop = 4, Inputs = 5 };

    Kind kind = Kind::ClockIn;
    std::string employeeId;
    std::string jobId;
    /// Seconds since the epoch; for inputs the start of the window.
    std::int64_t at = 0;
    /// Inputs only; -1 for the other kinds.
    std::int64_t endedAt = -1;
    std::int64_t keystrokes = -1;
    std::int64_t clicks = -1;
    std::string idempotencyKey;
};

/// What a test expects of one stored event: each instant within its span (from == to for an
/// exact one), and for inputs the counts.
struct ExpectedEvent {
    StoredEvent::Kind kind = StoredEvent::Kind::ClockIn;
    std::int64_t from = 0;
    std::int64_t to = 0;
    std::int64_t endedFrom = -1;
    std::int64_t endedTo = -1;
    std::int64_t keystrokes = -1;
    std::int64_t clicks = -1;
};

/// Every event in the service's database at \a path, in the order it stored them; empty while
/// the file or its table does not exist. Reads beside a running service.
std::vector<StoredEvent> storedEvents(const std::string& path);

/// Empty when \a stored holds exactly \a expected, in that order, each of \a employeeId and
/// \a jobId and under an Idempotency-Key of its own; otherwise both lists and what differs.
std::string mismatch(const std::vector<StoredEvent>& stored, const std::vector<ExpectedEvent>& expected,
                     const std::string& employeeId, const std::string& jobId);
