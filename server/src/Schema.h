#pragma once

#include "Sqlite.h"

namespace corlune::server {

/// The schema version this program writes.
int latestSchemaVersion();

/// Brings the database up to the latest schema, one step per version, all in one
/// transaction, and records the version in the table schema_version. Throws when the
/// database was written by a newer program (a version above the latest) or cannot be read.
void migrate(Connection& connection);

/// The recorded version; 0 for a database with no schema yet.
int schemaVersion(Connection& connection);

} // namespace corlune::server
