#pragma once

#include "Postgres.h"

namespace corlune::server {

/// The PostgreSQL schema version this program writes.
int latestPostgresSchemaVersion();

/// Brings the database up to the latest schema, one step per version, all in one
/// transaction, and records the version in the table schema_version. Instances that start at
/// once take turns (an advisory lock), so each step runs once. Throws PgError when the
/// database was written by a newer program (a version above the latest) or cannot be read.
void migratePostgres(PgConnection& connection);

} // namespace corlune::server
