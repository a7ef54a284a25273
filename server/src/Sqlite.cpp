#include "Sqlite.h"

namespace corlune::server {

namespace {

[[noreturn]] void fail(sqlite3* db, int rc, std::string_view what) {
    throw SqliteError(std::string(what) + ": " + (db ? sqlite3_errmsg(db) : sqlite3_errstr(rc)), rc);
}

} // namespace

Connection::Connection(const std::string& path) {
    const int rc = sqlite3_open_v2(path.c_str(), &db_,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        const std::string message = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
        sqlite3_close(db_);
        db_ = nullptr;
        throw SqliteError("cannot open " + path + ": " + message, rc);
    }
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_timeout(db_, 5000);
    try {
        exec("PRAGMA foreign_keys = ON; PRAGMA synchronous = FULL");
    } catch (...) {
        sqlite3_close(db_);
        throw;
    }
}

Connection::~Connection() {
    sqlite3_close(db_);
}

void Connection::exec(const char* sql) {
    const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        fail(db_, rc, sql);
    }
}

Statement::Statement(Connection& connection, std::string_view sql)
    : db_(connection.handle()) {
    const int rc = sqlite3_prepare_v3(db_, sql.data(), static_cast<int>(sql.size()),
                                      SQLITE_PREPARE_PERSISTENT, &stmt_, nullptr);
    if (rc != SQLITE_OK) {
        fail(db_, rc, sql);
    }
}

Statement::~Statement() {
    sqlite3_finalize(stmt_);
}

Statement::Run::~Run() {
    sqlite3_reset(s_);
    sqlite3_clear_bindings(s_);
}

Statement::Run& Statement::Run::check(int rc) {
    if (rc != SQLITE_OK) {
        fail(db_, rc, "bind");
    }
    return *this;
}

Statement::Run& Statement::Run::bind(int index, std::int64_t value) {
    return check(sqlite3_bind_int64(s_, index, value));
}

Statement::Run& Statement::Run::bind(int index, std::string_view text) {
    return check(sqlite3_bind_text64(s_, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8));
}

Statement::Run& Statement::Run::bindNull(int index) {
    return check(sqlite3_bind_null(s_, index));
}

bool Statement::Run::step() {
    const int rc = sqlite3_step(s_);
    if (rc == SQLITE_ROW) {
        return true;
    }
    if (rc == SQLITE_DONE) {
        return false;
    }
    fail(db_, rc, sqlite3_sql(s_));
}

std::string Statement::Run::text(int column) const {
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(s_, column));
    return bytes ? std::string(bytes, static_cast<std::size_t>(sqlite3_column_bytes(s_, column)))
                 : std::string();
}

Transaction::Transaction(Connection& connection)
    : connection_(connection) {
    connection_.exec("BEGIN IMMEDIATE");
}

Transaction::~Transaction() {
    if (open_) {
        sqlite3_exec(connection_.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
    }
}

void Transaction::commit() {
    connection_.exec("COMMIT");
    open_ = false;
}

} // namespace corlune::server
