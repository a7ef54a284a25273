#include "Postgres.h"

#include <charconv>
#include <cstring>
#include <optional>
#include <poll.h>

namespace corlune::server {

namespace {

/// UTF-8 as RFC 3629 has it (no overlong forms, no surrogates, nothing above U+10FFFF), without
/// NUL: what PostgreSQL accepts in a text.
bool fitsText(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte == 0) {
            return false;
        }
        if (byte < 0x80) {
            ++i;
            continue;
        }
        const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : 2;
        if (byte < 0xC2 || byte > 0xF4 || i + length > text.size()) {
            return false;
        }
        const auto second = static_cast<unsigned char>(text[i + 1]);
        const unsigned char low = byte == 0xE0 ? 0xA0 : byte == 0xF0 ? 0x90 : 0x80;
        const unsigned char high = byte == 0xED ? 0x9F : byte == 0xF4 ? 0x8F : 0xBF;
        if (second < low || second > high) {
            return false;
        }
        for (std::size_t k = 2; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

std::string trimmed(const char* message) {
    std::string text = message ? message : "";
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) {
        text.pop_back();
    }
    return text;
}

PgError errorOf(PGconn* conn, const PGresult* result, const char* what) {
    const char* state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    const char* message = result ? PQresultErrorMessage(result) : nullptr;
    return PgError(std::string(what) + ": " + trimmed(message && *message ? message : PQerrorMessage(conn)),
                   state ? state : "");
}

} // namespace

PgParams& PgParams::id(std::string_view value) {
    return fitsText(value) ? text(value) : null();
}

PgParams& PgParams::null() {
    add({}, 0);
    isNull.back() = true;
    return *this;
}

PgParams& PgParams::add(std::string value, int format) {
    data.push_back(std::move(value));
    isNull.push_back(false);
    formats.push_back(format);
    return *this;
}

std::string PgResult::text(int row, int column) const {
    return std::string(PQgetvalue(result.get(), row, column),
                       static_cast<std::size_t>(PQgetlength(result.get(), row, column)));
}

std::int64_t PgResult::integer(int row, int column) const {
    const char* value = PQgetvalue(result.get(), row, column);
    std::int64_t number = 0;
    std::from_chars(value, value + std::strlen(value), number);
    return number;
}

PgConnection::PgConnection(const std::string& uri) {
    // Ours come first, so the URI may change them; the encoding comes last, as every text
    // this program sends and reads is UTF-8.
    const char* keywords[] = {"connect_timeout",  "keepalives_idle",  "keepalives_interval",
                              "keepalives_count", "tcp_user_timeout", "application_name",
                              "dbname",           "client_encoding",  nullptr};
    const char* values[] = {"10",        "30",   "10",   "3", "30000", "corlune-track-server",
                            uri.c_str(), "UTF8", nullptr};
    conn = PQconnectdbParams(keywords, values, 1);
    if (conn == nullptr) {
        throw PgError("cannot connect: out of memory");
    }
    if (PQstatus(conn) != CONNECTION_OK) {
        const std::string message = trimmed(PQerrorMessage(conn));
        PQfinish(conn);
        throw PgError("cannot connect: " + message);
    }
    const char* encoding = PQparameterStatus(conn, "server_encoding");
    if (encoding == nullptr || std::strcmp(encoding, "UTF8") != 0) {
        PQfinish(conn);
        throw PgError("the database's encoding must be UTF8 (CREATE DATABASE … ENCODING 'UTF8')");
    }
    try {
        exec("SET synchronous_commit = on; SET statement_timeout = '30s'");
    } catch (...) {
        PQfinish(conn);
        throw;
    }
}

PgConnection::~PgConnection() {
    PQfinish(conn);
}

PgResult PgConnection::check(PGresult* result, const char* what) {
    const ExecStatusType status = PQresultStatus(result);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
        PgError error = errorOf(conn, result, what);
        PQclear(result);
        throw error;
    }
    return PgResult(result);
}

PgResult PgConnection::exec(const char* sql) {
    return check(PQexec(conn, sql), sql);
}

void PgConnection::prepare(const char* name, const char* sql) {
    check(PQprepare(conn, name, sql, 0, nullptr), name);
}

namespace {

/// The arrays libpq takes, pointing into a PgParams' values.
struct Wire {
    Wire(const std::vector<std::string>& data, const std::vector<bool>& isNull) {
        for (std::size_t i = 0; i < data.size(); ++i) {
            values.push_back(isNull[i] ? nullptr : data[i].data());
            lengths.push_back(static_cast<int>(data[i].size()));
        }
    }
    std::vector<const char*> values;
    std::vector<int> lengths;
};

} // namespace

PgResult PgConnection::run(const char* name, const PgParams& params) {
    const Wire wire(params.data, params.isNull);
    return check(PQexecPrepared(conn, name, static_cast<int>(wire.values.size()), wire.values.data(),
                                wire.lengths.data(), params.formats.data(), 0),
                 name);
}

std::vector<PgResult>
PgConnection::pipeline(const std::vector<std::pair<const char*, PgParams>>& statements) {
    if (PQenterPipelineMode(conn) == 0) {
        throw errorOf(conn, nullptr, "pipeline");
    }
    bool sent = true;
    for (const auto& [name, params] : statements) {
        const Wire wire(params.data, params.isNull);
        sent =
            sent && PQsendQueryPrepared(conn, name, static_cast<int>(wire.values.size()), wire.values.data(),
                                        wire.lengths.data(), params.formats.data(), 0) == 1;
    }
    sent = sent && PQpipelineSync(conn) == 1;
    std::vector<PgResult> results;
    std::optional<PgError> failure;
    if (!sent) {
        failure = errorOf(conn, nullptr, "pipeline");
    }
    // Every statement sent has an answer and a end marker, then comes the sync; a connection
    // that broke answers nothing more.
    for (std::size_t i = 0; sent && i < statements.size() && PQstatus(conn) == CONNECTION_OK; ++i) {
        PGresult* result = PQgetResult(conn);
        if (result == nullptr) {
            break;
        }
        const ExecStatusType status = PQresultStatus(result);
        if (!failure && status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK) {
            failure = errorOf(conn, result, statements[i].first);
        }
        results.emplace_back(result);
        PQclear(PQgetResult(conn));
    }
    for (PGresult* rest = PQgetResult(conn); rest != nullptr; rest = PQgetResult(conn)) {
        const bool synced = PQresultStatus(rest) == PGRES_PIPELINE_SYNC;
        PQclear(rest);
        if (synced) {
            break;
        }
    }
    if (PQexitPipelineMode(conn) == 0 && !failure) {
        failure = errorOf(conn, nullptr, "pipeline");
    }
    if (!failure && results.size() != statements.size()) {
        failure = errorOf(conn, nullptr, "pipeline");
    }
    if (failure) {
        throw *failure;
    }
    return results;
}

bool PgConnection::usable() const {
    if (PQstatus(conn) != CONNECTION_OK || PQtransactionStatus(conn) != PQTRANS_IDLE) {
        return false;
    }
    // An idle session hears from the server only when the server ends it: anything waiting to
    // be read means it is over.
    pollfd socket{PQsocket(conn), POLLIN, 0};
    return ::poll(&socket, 1, 0) == 0;
}

std::string withoutPassword(const std::string& uri) {
    std::string shown = uri;
    const auto scheme = shown.find("://");
    if (scheme == std::string::npos) {
        return shown; // a file's path
    }
    const auto hostStart = scheme + 3;
    const auto at = shown.find('@', hostStart);
    const auto hostEnd = shown.find_first_of("/?", hostStart);
    if (at != std::string::npos && (hostEnd == std::string::npos || at < hostEnd)) {
        const auto colon = shown.find(':', hostStart);
        if (colon != std::string::npos && colon < at) {
            shown.replace(colon + 1, at - colon - 1, "***");
        }
    }
    for (auto key = shown.find("password="); key != std::string::npos;
         key = shown.find("password=", key + 1)) {
        const auto value = key + 9;
        const auto end = shown.find('&', value);
        shown.replace(value, end == std::string::npos ? std::string::npos : end - value, "***");
    }
    return shown;
}

} // namespace corlune::server
