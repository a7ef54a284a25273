#pragma once

#include "Options.h"
#include "Storage.h"

#include <memory>
#include <string>

namespace corlune::server {

/// Each returns the process exit status: 0 done, 1 failed (a message is on standard error).
int runServe(const ServeOptions& options);
int runEmployeeAdd(const EmployeeAddOptions& options);
int runEmployeeList(const EmployeeListOptions& options);
int runEmployeeRemove(const EmployeeRemoveOptions& options);
int runReport(const ReportOptions& options);

/// The database a command names, or null when it cannot be opened (the reason is on
/// standard error).
std::unique_ptr<Storage> openForCommand(const std::string& database);

} // namespace corlune::server
