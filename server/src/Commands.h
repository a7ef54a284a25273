#pragma once

#include "Options.h"

namespace corlune::server {

/// Each returns the process exit status: 0 done, 1 failed (a message is on standard error).
int runServe(const ServeOptions& options);
int runEmployeeAdd(const EmployeeAddOptions& options);
int runEmployeeList(const EmployeeListOptions& options);
int runEmployeeRemove(const EmployeeRemoveOptions& options);

} // namespace corlune::server
