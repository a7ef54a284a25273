#include "Timesheet.h"

#include "Storage.h"
#include "Timeline.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace corlune::server {

namespace {

std::string dateText(LocalDate day) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(day.year()),
                  static_cast<unsigned>(day.month()), static_cast<unsigned>(day.day()));
    return text;
}

std::string csvId(const std::string& id) {
    std::string field = "\"";
    if (!id.empty() && std::string_view("=+-@\t\r").find(id.front()) != std::string_view::npos) {
        field += '\'';
    }
    for (const char c : id) {
        if (c == '"') {
            field += '"';
        }
        field += c;
    }
    return field + '"';
}

/// C0 and C1 control characters (C1 as UTF-8: C2 80 to C2 9F) as "?".
std::string printable(const std::string& id) {
    std::string shown;
    for (std::size_t i = 0; i < id.size(); ++i) {
        const auto byte = static_cast<unsigned char>(id[i]);
        const bool c1 = byte == 0xC2 && i + 1 < id.size() && static_cast<unsigned char>(id[i + 1]) <= 0x9F &&
                        static_cast<unsigned char>(id[i + 1]) >= 0x80;
        if (byte < 0x20 || byte == 0x7F || c1) {
            shown += '?';
            i += c1 ? 1 : 0;
        } else {
            shown += id[i];
        }
    }
    return shown;
}

/// Characters, not bytes, of UTF-8 text: what a terminal gives each column.
std::size_t widthOf(const std::string& text) {
    return static_cast<std::size_t>(std::count_if(
        text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

std::string duration(std::int64_t seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
    return text;
}

} // namespace

UnixSeconds localDayStart(LocalDate day) {
    std::tm local{};
    local.tm_year = static_cast<int>(day.year()) - 1900;
    local.tm_mon = static_cast<int>(static_cast<unsigned>(day.month())) - 1;
    local.tm_mday = static_cast<int>(static_cast<unsigned>(day.day()));
    local.tm_isdst = -1;
    return static_cast<UnixSeconds>(std::mktime(&local));
}

std::optional<std::vector<TimesheetRow>> timesheet(Storage& storage, const TimesheetQuery& query,
                                                   UnixSeconds now) {
    using std::chrono::sys_days;
    const auto days = static_cast<std::size_t>((sys_days(query.to) - sys_days(query.from)).count() + 1);
    std::vector<UnixSeconds> starts; // of each day, and of the day after the last
    for (std::size_t i = 0; i <= days; ++i) {
        starts.push_back(localDayStart(LocalDate(sys_days(query.from) + std::chrono::days(i))));
    }
    const UnixSeconds end = std::min(starts.back(), now);
    auto timelines = storage.timelines(starts.front(), end, query.employeeId);
    if (!timelines) {
        return std::nullopt;
    }
    std::vector<TimesheetRow> rows;
    for (JobTimeline& job : *timelines) {
        std::vector<std::int64_t> seconds(days, 0);
        for (const WorkStretch& stretch : workStretches(std::move(job.events), starts.front(), end)) {
            for (std::size_t i = 0; i < days; ++i) {
                seconds[i] += std::max<UnixSeconds>(0, std::min(stretch.end, starts[i + 1]) -
                                                           std::max(stretch.start, starts[i]));
            }
        }
        for (std::size_t i = 0; i < days; ++i) {
            if (seconds[i] > 0) {
                rows.push_back({job.employeeId, job.jobId,
                                LocalDate(sys_days(query.from) + std::chrono::days(i)), seconds[i]});
            }
        }
    }
    return rows;
}

std::string timesheetCsv(const std::vector<TimesheetRow>& rows) {
    std::string csv = "employee,job,date,seconds,hours\r\n";
    for (const TimesheetRow& row : rows) {
        const std::int64_t hundredths = (row.workSeconds * 100 + 1800) / 3600;
        char hours[32];
        std::snprintf(hours, sizeof hours, "%lld.%02lld", static_cast<long long>(hundredths / 100),
                      static_cast<long long>(hundredths % 100));
        csv += csvId(row.employeeId) + ',' + csvId(row.jobId) + ',' + dateText(row.day) + ',' +
               std::to_string(row.workSeconds) + ',' + hours + "\r\n";
    }
    return csv;
}

std::string timesheetTable(const std::vector<TimesheetRow>& rows) {
    std::vector<std::vector<std::string>> cells = {{"Employee", "Job", "Date", "Work"}};
    std::int64_t total = 0;
    for (const TimesheetRow& row : rows) {
        cells.push_back(
            {printable(row.employeeId), printable(row.jobId), dateText(row.day), duration(row.workSeconds)});
        total += row.workSeconds;
    }
    cells.push_back({"Total", "", "", duration(total)});
    std::vector<std::size_t> widths(4, 0);
    for (const auto& line : cells) {
        for (std::size_t column = 0; column < 4; ++column) {
            widths[column] = std::max(widths[column], widthOf(line[column]));
        }
    }
    std::string table;
    for (const auto& line : cells) {
        for (std::size_t column = 0; column < 3; ++column) {
            table += line[column] + std::string(widths[column] - widthOf(line[column]) + 2, ' ');
        }
        // Durations are right-aligned, so their hours line up.
        table += std::string(widths[3] - widthOf(line[3]), ' ') + line[3] + '\n';
    }
    return table;
}

} // namespace corlune::server
