#include "Storage.h"

#include "PostgresStorage.h"
#include "SqliteStorage.h"

namespace corlune::server {

bool isPostgresUri(std::string_view database) {
    return database.starts_with("postgresql://") || database.starts_with("postgres://");
}

std::unique_ptr<Storage> openStorage(const std::string& database, std::size_t connections) {
    if (isPostgresUri(database)) {
        return std::make_unique<PostgresStorage>(database, connections);
    }
    return std::make_unique<SqliteStorage>(database);
}

} // namespace corlune::server
