#include "Commands.h"
#include "Postgres.h"
#include "Timesheet.h"

#include <chrono>
#include <iostream>

namespace corlune::server {

int runReport(const ReportOptions& o) {
    const auto storage = openForCommand(o.db);
    if (!storage) {
        return 1;
    }
    const auto now =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    const auto rows = timesheet(*storage, o.query, now);
    if (!rows) {
        std::cerr << "corlune-track-server: cannot read " << withoutPassword(o.db) << '\n';
        return 1;
    }
    std::cout << (o.format == ReportFormat::Csv ? timesheetCsv(*rows) : timesheetTable(*rows)) << std::flush;
    return 0;
}

} // namespace corlune::server
