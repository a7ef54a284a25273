#pragma once

#include "TempDir.h"

#include <cstdint>
#include <string>

namespace corlune::server::test {

/// A fresh, empty database for one test, on the backend the tests run on: a SQLite file in a
/// scratch folder, or, with CORLUNE_TEST_STORAGE=postgresql in the environment, a database of
/// its own on a PostgreSQL cluster that the process starts once. So one suite checks both.
class TestDatabase {
public:
    TestDatabase();

    static bool onPostgres();
    /// What --db takes.
    const std::string& name() const { return database; }
    /// Runs SQL (read the same by SQLite and PostgreSQL) that needs no parameters.
    void exec(const std::string& sql) const;
    /// The first column of the first row of a query, as a number; -1 without a row.
    std::int64_t number(const std::string& sql) const;

private:
    TempDir dir;
    std::string database;
};

} // namespace corlune::server::test
