#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

/// One row of the service's events table.
struct StoredEvent {
    /// The service's own numbering: 1 clock-in, 2 clock-out, 3 break start, 4 break stop, 5 inputs.
    enum class Kind { ClockIn = 1, ClockOut = 2, BreakStart = 3, BreakStop = 4, Inputs = 5 };

    std::int64_t id = 0; // grows in the order the service stored the rows
    Kind kind = Kind::ClockIn;
    std::string employeeId;
    std::string jobId;
    std::int64_t at = 0; // seconds since the epoch; for inputs the start of the window
    std::optional<std::int64_t> endedAt;
    std::optional<std::int64_t> keystrokes;
    std::optional<std::int64_t> clicks;
    std::optional<std::string> idempotencyKey;
};

const char* nameOf(StoredEvent::Kind kind);
std::string describe(const StoredEvent& event);
std::string describe(const std::vector<StoredEvent>& events);

/// Every stored event of the service's database at \a path, in storage order; empty while the
/// file does not exist. Reads beside a running service (its journal is WAL).
std::vector<StoredEvent> readStoredEvents(const std::string& path);
