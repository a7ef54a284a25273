#pragma once

#include "Clock.h"
#include "Impressions.h"
#include "Storage.h"
#include "VerifyThrottle.h"
#include "WireFormat.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace corlune::server {

/// What the handlers need of an HTTP request.
struct ApiRequest {
    std::string body;
    std::string contentType;
    std::string idempotencyKey;     ///< empty when the header is absent or empty
    QueryParams query;              ///< percent-decoded
    std::string authorization = {}; ///< the Authorization header's value; empty when absent
    std::string clientAddress = {}; ///< the peer's IP address as text ("127.0.0.1", "::1")
    std::string path = {};          ///< the target without its query, not decoded
};

/// A file opened for reading, sent as an answer's body while it is read; the descriptor is
/// closed with the last answer that holds it.
class OpenFile {
public:
    explicit OpenFile(int fd)
        : fd(fd) {}
    ~OpenFile();
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;

    /// The descriptor, now the caller's to close.
    int release() { return std::exchange(fd, -1); }

private:
    int fd = -1;
};

/// The answers of the download page and its files are not JSON: they carry their own
/// Content-Type among `headers`, and `page` or `file` is sent instead of `body`.
struct ApiResponse {
    int status = 200;
    nlohmann::json body = nlohmann::json::object();
    std::vector<std::pair<std::string, std::string>> headers;
    std::optional<std::string> page = {};
    std::shared_ptr<OpenFile> file = {};
};

struct VersionAnswer {
    std::string latestVersion;
    std::optional<bool> updateAvailable; ///< sent only when set
};

/// Employee and job IDs longer than this cannot exist (the command line refuses them).
inline constexpr std::size_t maxIdBytes = 128;
/// An Idempotency-Key is 1 to 255 visible ASCII characters (a UUID fits).
inline constexpr std::size_t maxIdempotencyKeyBytes = 255;

/// How sign-in tokens are given and asked for.
struct TokenRule {
    std::chrono::days lifetime{30};
    /// Requests without an Authorization header may report and read for anyone, as time clocks
    /// did before tokens. A token that is sent is checked all the same.
    bool allowAnonymous = false;
};

/// Turns requests into typed requests, asks storage, and turns its outcomes into answers.
/// Every answer body is a JSON object; refusals are {"error": "..."}.
///
/// Everything but verify and version needs "Authorization: Bearer TOKEN", a token from a
/// verification of the employee and job the request speaks for: 401 with WWW-Authenticate
/// when it is missing, unknown, expired or revoked, 403 when it is another employee's or
/// job's. An employee that does not exist is answered exactly like one that may not work on
/// the job, so no endpoint tells which employee IDs exist.
class Handlers {
public:
    /// `impressions` may be null: the analytics endpoint then answers 404.
    Handlers(Storage& storage, VerifyThrottle& throttle, const Clock& clock, Impressions* impressions,
             VersionAnswer version, TokenRule tokenRule = TokenRule{})
        : storage(storage)
        , throttle(throttle)
        , clock(clock)
        , impressionSource(impressions)
        , versionAnswer(std::move(version))
        , tokenRule(tokenRule) {}
    Handlers(const Handlers&) = delete;
    Handlers& operator=(const Handlers&) = delete;

    /// 200 {"ok": true, "token": T} for a known employee, the right password and one of the
    /// employee's jobs, else 200 {"ok": false}. A pair of employee ID and client address that
    /// failed recently waits (VerifyThrottle): 429 {"ok": false, "error"} with Retry-After,
    /// without a check. 503 when the database fails.
    ApiResponse verify(const ApiRequest& request);
    /// 201 {"ok": true, "eventId": N}, also for a repeated Idempotency-Key (with the header
    /// Idempotent-Replayed: true); 400 malformed, 401, 403 as above, 415 not JSON, 422 key
    /// reused for another event, 503 storage failure.
    ApiResponse report(EventKind kind, const ApiRequest& request);
    /// 200 {"totalWorkMs": N}; 400, 401, 403, 503 as for reports.
    ApiResponse summary(const ApiRequest& request);
    ApiResponse version() const;
    /// 200 with the configured object; 401 as above; 404 none configured; 503 not read yet.
    ApiResponse impressions(const ApiRequest& request);

private:
    /// Whom the request may speak for: a token's owner, or anyone (no owner) when anonymous
    /// requests are allowed; a refusal otherwise.
    struct Caller {
        std::optional<ApiResponse> refusal;
        std::optional<TokenOwner> owner;
        bool mayActFor(const std::string& employeeId, const std::string& jobId) const {
            return !owner || *owner == TokenOwner{employeeId, jobId};
        }
    };
    Caller caller(const ApiRequest& request);
    ApiResponse signedIn(const VerifyRequest& credentials);

    Storage& storage;
    VerifyThrottle& throttle;
    const Clock& clock;
    Impressions* impressionSource;
    const VersionAnswer versionAnswer;
    const TokenRule tokenRule;
};

/// The token of an "Authorization: Bearer TOKEN" header (scheme in any case); nothing for any
/// other header, or a token that is not 1 to 512 characters of the bearer token alphabet.
std::optional<std::string_view> bearerToken(std::string_view authorization);

/// True for "application/json", in any case, with or without parameters such as charset.
bool isJsonMediaType(std::string_view contentType);

ApiResponse errorResponse(int status, std::string message);

} // namespace corlune::server
