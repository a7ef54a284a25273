#pragma once

#include "Impressions.h"
#include "Storage.h"
#include "VerifyThrottle.h"
#include "WireFormat.h"

#include <nlohmann/json.hpp>

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
};

struct ApiResponse {
    int status = 200;
    nlohmann::json body = nlohmann::json::object();
    std::vector<std::pair<std::string, std::string>> headers;
};

struct VersionAnswer {
    std::string latestVersion;
    std::optional<bool> updateAvailable; ///< sent only when set
};

/// Employee and job IDs longer than this cannot exist (the command line refuses them).
inline constexpr std::size_t maxIdBytes = 128;
/// An Idempotency-Key is 1 to 255 visible ASCII characters (a UUID fits).
inline constexpr std::size_t maxIdempotencyKeyBytes = 255;

/// Turns requests into typed requests, asks storage, and turns its outcomes into answers.
/// Every answer body is a JSON object; refusals are {"error": "..."}.
class Handlers {
public:
    /// `impressions` may be null: the analytics endpoint then answers 404.
    Handlers(Storage& storage, VerifyThrottle& throttle, Impressions* impressions, VersionAnswer version)
        : storage_(storage)
        , throttle_(throttle)
        , impressions_(impressions)
        , version_(std::move(version)) {}
    Handlers(const Handlers&) = delete;
    Handlers& operator=(const Handlers&) = delete;

    /// 200 {"ok": bool}: true only for a known employee, the right password and one of the
    /// employee's jobs. Throttled per employee ID (VerifyThrottle).
    ApiResponse verify(const ApiRequest& request);
    /// 201 {"ok": true, "eventId": N}, also for a repeated Idempotency-Key (with the header
    /// Idempotent-Replayed: true); 400 malformed, 404 unknown employee, 403 job not allowed,
    /// 415 not JSON, 422 key reused for another event, 503 storage failure.
    ApiResponse report(EventKind kind, const ApiRequest& request);
    /// 200 {"totalWorkMs": N}; 400, 403, 404, 503 as for reports.
    ApiResponse summary(const ApiRequest& request);
    ApiResponse version() const;
    ApiResponse impressions();

private:
    Storage& storage_;
    VerifyThrottle& throttle_;
    Impressions* impressions_;
    const VersionAnswer version_;
};

/// True for "application/json", in any case, with or without parameters such as charset.
bool isJsonMediaType(std::string_view contentType);

ApiResponse errorResponse(int status, std::string message);

} // namespace corlune::server
