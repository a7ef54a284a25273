#include "TestDatabase.h"

#include "Postgres.h"
#include "PostgresCluster.h"
#include "Sqlite.h"

#include <cstdlib>
#include <cstring>

namespace corlune::server::test {

namespace {

/// Started by the first test that needs it, on the main thread, and stopped at exit. Nothing
/// here tests PostgreSQL's own durability, so it need not sync.
PostgresCluster& cluster() {
    static PostgresCluster running({"fsync=off"});
    return running;
}

} // namespace

bool TestDatabase::onPostgres() {
    const char* storage = std::getenv("CORLUNE_TEST_STORAGE");
    return storage != nullptr && std::strcmp(storage, "postgresql") == 0;
}

TestDatabase::TestDatabase() {
    if (!onPostgres()) {
        database = dir.file("track.db");
        return;
    }
    static int made = 0;
    const std::string name = "test" + std::to_string(++made);
    PgConnection(cluster().uri()).exec(("CREATE DATABASE " + name).c_str());
    database = cluster().uri(name);
}

void TestDatabase::exec(const std::string& sql) const {
    if (onPostgres()) {
        PgConnection(database).exec(sql.c_str());
    } else {
        Connection(database).exec(sql.c_str());
    }
}

std::int64_t TestDatabase::number(const std::string& sql) const {
    if (onPostgres()) {
        const PgResult result = PgConnection(database).exec(sql.c_str());
        return result.rows() > 0 ? result.integer(0, 0) : -1;
    }
    Connection connection(database);
    Statement query(connection, sql);
    auto row = query.run();
    return row.step() ? row.integer(0) : -1;
}

} // namespace corlune::server::test
