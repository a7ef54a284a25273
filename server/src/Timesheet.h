#pragma once

#include "Timestamp.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace corlune::server {

class Storage;

/// A calendar day in the local time zone (TZ honoured).
using LocalDate = std::chrono::year_month_day;

/// The days from `from` to `to`, both included; only one employee's work when given.
struct TimesheetQuery {
    LocalDate from{};
    LocalDate to{};
    std::optional<std::string> employeeId;
};

/// Work of one employee on one job on one local day.
struct TimesheetRow {
    std::string employeeId;
    std::string jobId;
    LocalDate day{};
    std::int64_t workSeconds = 0;
    bool operator==(const TimesheetRow&) const = default;
};

/// The instant a local day starts (its midnight, or the first time it has where the clock
/// skips midnight).
UnixSeconds localDayStart(LocalDate day);

/// Work per employee, job and local day, by the replay that answers a summary: each day
/// counts the work inside it, and work still open counts up to `now`. Ordered by employee,
/// job (byte by byte) and day; days without work are left out. Nothing when the database
/// cannot be read.
std::optional<std::vector<TimesheetRow>> timesheet(Storage& storage, const TimesheetQuery& query,
                                                   UnixSeconds now);

/// RFC 4180 CSV for payroll: a header, then one line per row, CRLF line ends. The hours are
/// decimal, to the hundredth. IDs are always quoted, and one that a spreadsheet would read as
/// a formula (a leading = + - @, tab or carriage return) is given a leading apostrophe.
std::string timesheetCsv(const std::vector<TimesheetRow>& rows);

/// Aligned columns for people, work as H:MM:SS, and a total. Control characters in IDs are
/// shown as "?", so an ID cannot drive the terminal.
std::string timesheetTable(const std::vector<TimesheetRow>& rows);

} // namespace corlune::server
