#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace corlune::server {

/// Thrown by this wrapper only; the storage layer turns it into its outcomes.
class SqliteError : public std::runtime_error {
public:
    SqliteError(const std::string& what, int code)
        : std::runtime_error(what)
        , resultCode(code) {}
    int code() const { return resultCode; }

private:
    int resultCode;
};

/// One open database connection; used by one thread at a time.
class Connection {
public:
    /// Opens (and creates) the file, waiting up to 5 s for locks held by other connections,
    /// with foreign keys enforced and synchronous=FULL (every commit is fsynced).
    explicit Connection(const std::string& path);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    void exec(const char* sql);
    std::int64_t lastInsertId() const { return sqlite3_last_insert_rowid(db); }
    sqlite3* handle() const { return db; }

private:
    sqlite3* db = nullptr;
};

/// A statement prepared once and run many times; each run goes through a Run, which binds
/// the parameters and resets the statement when it ends, so no read stays open.
class Statement {
public:
    Statement(Connection& connection, std::string_view sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    class Run {
    public:
        explicit Run(Statement& owner)
            : statement(owner.statement)
            , db(owner.db) {}
        ~Run();
        Run(const Run&) = delete;
        Run& operator=(const Run&) = delete;

        Run& bind(int index, std::int64_t value);
        Run& bind(int index, std::string_view text);
        Run& bindNull(int index);
        /// True with a row to read, false when done.
        bool step();
        std::int64_t integer(int column) const { return sqlite3_column_int64(statement, column); }
        std::string text(int column) const;
        bool isNull(int column) const { return sqlite3_column_type(statement, column) == SQLITE_NULL; }

    private:
        Run& check(int rc);

        sqlite3_stmt* statement;
        sqlite3* db;
    };

    Run run() { return Run(*this); }

private:
    sqlite3_stmt* statement = nullptr;
    sqlite3* db = nullptr;
};

/// BEGIN IMMEDIATE ... COMMIT, rolled back if not committed.
class Transaction {
public:
    explicit Transaction(Connection& connection);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    void commit();

private:
    Connection& connection;
    bool open = true;
};

} // namespace corlune::server
