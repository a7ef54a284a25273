#include "Sqlite.h"

namespace corlune::server {

namespace {

[[noreturn]] void fail(sqlite3* db, int rc, std::string_view what) {
    throw SqliteError(std::string(what) + ": " + (db ? sqlite3_errmsg(db) : sqlite3_errstr(rc)), rc);
}

} // namespace

Connection::Connection(const std::string& path) {
    const int rc = sqlite3_open_v2(path.c_str(), &db,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        const std::string message = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
        sqlite3_close(db);
        db = nullptr;
        throw SqliteError("cannot open " + path + ": " + message, rc);
    }
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, 5000);
    try {
        exec("PRAGMA foreign_keys = ON; PRAGMA synchronous = FULL");
    } catch (...) {
        sqlite3_close(db);
        throw;
    }
}

Connection::~Connection() {
    sqlite3_close(db);
}

void Connection::exec(const char* sql) {
    const int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        fail(db, rc, sql);
    }
}

Statement::Statement(Connection& connection, std::string_view sql)
    : db(connection.handle()) {
    const int rc = sqlite3_prepare_v3(db, sql.data(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT,
                                      &statement, nullptr);
    if (rc != SQLITE_OK) {
        fail(db, rc, sql);
    }
}

Statement::~Statement() {
    sqlite3_finalize(statement);
}

Statement::Run::~Run() {
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
}

Statement::Run& Statement::Run::check(int rc) {
    if (rc != SQLITE_OK) {
        fail(db, rc, "bind");
    }
    return *this;
}

Statement::Run& Statement::Run::bind(int index, std::int64_t value) {
    return check(sqlite3_bind_int64(statement, index, value));
}

Statement::Run& Statement::Run::bind(int index, std::string_view text) {
    return check(
        sqlite3_bind_text64(statement, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8));
}

Statement::Run& Statement::Run::bindNull(int index) {
    return check(sqlite3_bind_null(statement, index));
}

bool Statement::Run::step() {
    const int rc = sqlite3_step(statement);
    if (rc == SQLITE_ROW) {
        return true;
    }
    if (rc == SQLITE_DONE) {
        return false;
    }
    fail(db, rc, sqlite3_sql(statement));
}

std::string Statement::Run::text(int column) const {
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    return bytes ? std::string(bytes, static_cast<std::size_t>(sqlite3_column_bytes(statement, column)))
                 : std::string();
}

Transaction::Transaction(Connection& connection)
    : connection(connection) {
    connection.exec("BEGIN IMMEDIATE");
}

Transaction::~Transaction() {
    if (open) {
        sqlite3_exec(connection.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
    }
}

void Transaction::commit() {
    connection.exec("COMMIT");
    open = false;
}

} // namespace corlune::server
