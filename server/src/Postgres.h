#pragma once

#include <libpq-fe.h>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace corlune::server {

/// Thrown by this wrapper only; the storage layer turns it into its outcomes.
class PgError : public std::runtime_error {
public:
    explicit PgError(const std::string& what, std::string sqlState = {})
        : std::runtime_error(what)
        , state(std::move(sqlState)) {}
    /// The server's five-character SQLSTATE; empty when the error did not come from the server.
    const std::string& sqlState() const { return state; }

private:
    std::string state;
};

/// The parameters of one statement. Texts travel as bytes with their length, so nothing can
/// cut one short at a NUL, and the server refuses what its text type cannot hold; numbers
/// travel as decimal text.
class PgParams {
public:
    PgParams& text(std::string_view value) { return add(std::string(value), 1); }
    /// An employee or job ID: NULL, which equals nothing, when PostgreSQL's text cannot hold it
    /// (a NUL byte, or bytes that are not UTF-8). Such an ID cannot exist, so it is answered as
    /// unknown, as SQLite, which holds any bytes, answers it.
    PgParams& id(std::string_view value);
    PgParams& bytes(std::string_view value) { return add(std::string(value), 1); }
    PgParams& integer(std::int64_t value) { return add(std::to_string(value), 0); }
    PgParams& null();

private:
    friend class PgConnection;
    PgParams& add(std::string value, int format);

    std::vector<std::string> data;
    std::vector<bool> isNull;
    std::vector<int> formats;
};

/// The rows of one statement's answer, each column as text.
class PgResult {
public:
    explicit PgResult(PGresult* result)
        : result(result, &PQclear) {}

    int rows() const { return PQntuples(result.get()); }
    bool isNull(int row, int column) const { return PQgetisnull(result.get(), row, column) != 0; }
    std::string text(int row, int column) const;
    /// 0 for NULL.
    std::int64_t integer(int row, int column) const;
    bool boolean(int row, int column) const { return text(row, column) == "t"; }

private:
    std::unique_ptr<PGresult, decltype(&PQclear)> result;
};

/// One connection to a PostgreSQL database; used by one thread at a time. Commits wait until
/// they are durable (synchronous_commit on, whatever the server's default), a statement is
/// cancelled by the server after 30 s, and a connection whose peer went silent is given up
/// by TCP keepalives, so no wait is unbounded. Texts are exchanged as UTF-8.
class PgConnection {
public:
    /// Connects to a libpq connection URI; throws PgError when it cannot, or when the
    /// database's encoding is not UTF-8.
    explicit PgConnection(const std::string& uri);
    ~PgConnection();
    PgConnection(const PgConnection&) = delete;
    PgConnection& operator=(const PgConnection&) = delete;

    /// Runs SQL that takes no input (one statement or several); the last one's answer.
    PgResult exec(const char* sql);
    void prepare(const char* name, const char* sql);
    PgResult run(const char* name, const PgParams& params);

    /// Runs prepared statements in one round trip and one transaction: their answers in order
    /// once all are committed; when one fails, none is, and this throws. Keep a pipeline to
    /// some hundred statements: their answers wait in the socket's buffers until all are sent.
    std::vector<PgResult> pipeline(const std::vector<std::pair<const char*, PgParams>>& statements);

    /// False once the server has ended the session (a restart, an administrator's
    /// pg_terminate_backend, a lost network), or while a transaction is left open.
    bool usable() const;

private:
    PgResult check(PGresult* result, const char* what);

    PGconn* conn = nullptr;
};

/// A libpq URI with its password, if it holds one, replaced by "***": fit for messages.
std::string withoutPassword(const std::string& uri);

} // namespace corlune::server
