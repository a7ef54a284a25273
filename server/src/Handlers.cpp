#include "Handlers.h"

#include "PasswordHash.h"

#include <algorithm>
#include <cctype>

namespace corlune::server {

namespace {

/// Browsers send form and plain-text POSTs across sites without asking first; insisting on
/// JSON makes a web page that targets a service on the employee's own machine ask, and fail.
std::optional<ApiResponse> refuseMediaType(const ApiRequest& request) {
    if (isJsonMediaType(request.contentType)) {
        return std::nullopt;
    }
    return errorResponse(415, "Content-Type must be application/json");
}

bool validIdempotencyKey(const std::string& key) {
    return key.size() <= maxIdempotencyKeyBytes &&
           std::all_of(key.begin(), key.end(), [](char c) { return c > ' ' && c < 0x7f; });
}

bool equalsIgnoringCase(std::string_view text, std::string_view lower) {
    return text.size() == lower.size() &&
           std::equal(text.begin(), text.end(), lower.begin(),
                      [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
}

/// One answer for an employee that does not exist and one that may not work on the job.
ApiResponse forbidden() {
    return errorResponse(403, "not allowed for this employee and job");
}

ApiResponse unavailable() {
    return errorResponse(503, "storage unavailable");
}

ApiResponse accessRefusal(Access access) {
    return access == Access::Failed ? unavailable() : forbidden();
}

ApiResponse unauthorized(const char* challenge, std::string message) {
    ApiResponse response = errorResponse(401, std::move(message));
    response.headers.emplace_back("WWW-Authenticate", challenge);
    return response;
}

} // namespace

bool isJsonMediaType(std::string_view contentType) {
    const auto end = contentType.find(';');
    std::string_view type = contentType.substr(0, end);
    while (!type.empty() && (type.back() == ' ' || type.back() == '\t')) {
        type.remove_suffix(1);
    }
    while (!type.empty() && (type.front() == ' ' || type.front() == '\t')) {
        type.remove_prefix(1);
    }
    return equalsIgnoringCase(type, "application/json");
}

std::optional<std::string_view> bearerToken(std::string_view authorization) {
    const auto space = authorization.find(' ');
    if (space == std::string_view::npos || !equalsIgnoringCase(authorization.substr(0, space), "bearer")) {
        return std::nullopt;
    }
    std::string_view token = authorization.substr(space + 1);
    while (!token.empty() && token.front() == ' ') {
        token.remove_prefix(1);
    }
    const auto body = token.find_last_not_of('=');
    const bool wellFormed =
        !token.empty() && token.size() <= 512 && body != std::string_view::npos &&
        std::all_of(token.begin(), token.begin() + static_cast<std::ptrdiff_t>(body) + 1, [](char c) {
            return std::isalnum(static_cast<unsigned char>(c)) ||
                   std::string_view("-._~+/").find(c) != std::string_view::npos;
        });
    return wellFormed ? std::optional(token) : std::nullopt;
}

ApiResponse errorResponse(int status, std::string message) {
    return ApiResponse{status, {{"error", std::move(message)}}, {}};
}

Handlers::Caller Handlers::caller(const ApiRequest& request) {
    const auto token = bearerToken(request.authorization);
    if (!token) {
        if (equalsIgnoringCase(std::string_view(request.authorization).substr(0, 7), "bearer ")) {
            return {unauthorized("Bearer error=\"invalid_token\"", "the token is malformed"), {}};
        }
        // No credentials of ours: another scheme, such as a proxy's Basic, is not ours to judge.
        if (tokenRule.allowAnonymous) {
            return {};
        }
        return {unauthorized("Bearer", "sign in first: send Authorization: Bearer and the token of "
                                       "/api/users/verify"),
                {}};
    }
    const TokenLookup lookup = storage.token(tokenDigest(*token), clock.unixNow());
    switch (lookup.status) {
    case TokenStatus::Valid:
        return {std::nullopt, lookup.owner};
    case TokenStatus::Unknown:
        return {unauthorized("Bearer error=\"invalid_token\"", "the token is unknown, expired or revoked"),
                {}};
    case TokenStatus::Failed:
        break;
    }
    return {unavailable(), {}};
}

ApiResponse Handlers::verify(const ApiRequest& request) {
    if (auto refusal = refuseMediaType(request)) {
        return *refusal;
    }
    const auto parsed = parseVerifyRequest(request.body);
    if (!parsed.value) {
        return errorResponse(400, parsed.error);
    }
    const VerifyRequest& v = *parsed.value;
    const ApiResponse no{200, {{"ok", false}}, {}};
    if (v.employeeId.size() > maxIdBytes) {
        return no; // cannot exist, and is not worth a place in the throttle
    }
    const auto wait = throttle.begin(v.employeeId, request.clientAddress);
    if (!wait) {
        return unavailable();
    }
    if (wait->count() > 0) {
        ApiResponse response{
            429, {{"ok", false}, {"error", "too many failed sign-ins; try again later"}}, {}};
        response.headers.emplace_back("Retry-After", std::to_string(wait->count()));
        return response;
    }
    const CredentialsLookup lookup = storage.credentials(v.employeeId, v.jobId);
    bool ok = false;
    switch (lookup.access) {
    case Access::Allowed:
        ok = verifyPassword(lookup.passwordHash, v.password);
        break;
    case Access::JobNotAllowed:
        verifyPassword(lookup.passwordHash, v.password);
        break;
    case Access::UnknownEmployee:
        verifyAgainstNothing(v.password);
        break;
    case Access::Failed:
        throttle.finish(v.employeeId, request.clientAddress, VerifyThrottle::Attempt::NotChecked);
        return unavailable();
    }
    throttle.finish(v.employeeId, request.clientAddress,
                    ok ? VerifyThrottle::Attempt::Succeeded : VerifyThrottle::Attempt::Failed);
    return ok ? signedIn(v) : no;
}

ApiResponse Handlers::signedIn(const VerifyRequest& credentials) {
    const auto token = newToken();
    const UnixSeconds now = clock.unixNow();
    const UnixSeconds expiresAt = now + std::chrono::seconds(tokenRule.lifetime).count();
    if (!token ||
        !storage.addToken(tokenDigest(*token), {credentials.employeeId, credentials.jobId}, now, expiresAt)) {
        return unavailable();
    }
    return ApiResponse{200, {{"ok", true}, {"token", *token}}, {}};
}

ApiResponse Handlers::report(EventKind kind, const ApiRequest& request) {
    const Caller who = caller(request);
    if (who.refusal) {
        return *who.refusal;
    }
    if (auto refusal = refuseMediaType(request)) {
        return *refusal;
    }
    if (!validIdempotencyKey(request.idempotencyKey)) {
        return errorResponse(400, "Idempotency-Key must be 1 to 255 visible ASCII characters");
    }
    const auto parsed = parseEventReport(kind, request.body);
    if (!parsed.value) {
        return errorResponse(400, parsed.error);
    }
    if (!who.mayActFor(parsed.value->employeeId, parsed.value->jobId)) {
        return forbidden();
    }
    const StoreResult result = storage.store(*parsed.value, request.idempotencyKey);
    switch (result.outcome) {
    case StoreOutcome::Stored:
    case StoreOutcome::Replayed: {
        ApiResponse response{201, {{"ok", true}, {"eventId", result.eventId}}, {}};
        if (result.outcome == StoreOutcome::Replayed) {
            response.headers.emplace_back("Idempotent-Replayed", "true");
        }
        return response;
    }
    case StoreOutcome::KeyReused:
        return errorResponse(422, "this Idempotency-Key was already used for a different event");
    case StoreOutcome::UnknownEmployee:
    case StoreOutcome::JobNotAllowed:
        return forbidden();
    case StoreOutcome::Failed:
        break;
    }
    return unavailable();
}

ApiResponse Handlers::summary(const ApiRequest& request) {
    const Caller who = caller(request);
    if (who.refusal) {
        return *who.refusal;
    }
    const auto parsed = parseSummaryQuery(request.query);
    if (!parsed.value) {
        return errorResponse(400, parsed.error);
    }
    const SummaryQuery& q = *parsed.value;
    if (!who.mayActFor(q.employeeId, q.jobId)) {
        return forbidden();
    }
    TimelineLookup lookup = storage.timeline(q.employeeId, q.jobId, q.from, q.to);
    if (lookup.access != Access::Allowed) {
        return accessRefusal(lookup.access);
    }
    return ApiResponse{
        200, {{"totalWorkMs", workedMilliseconds(std::move(lookup.events), q.from, q.to)}}, {}};
}

ApiResponse Handlers::version() const {
    ApiResponse response{200, {{"version", versionAnswer.latestVersion}}, {}};
    if (versionAnswer.updateAvailable) {
        response.body["updateAvailable"] = *versionAnswer.updateAvailable;
    }
    return response;
}

ApiResponse Handlers::impressions(const ApiRequest& request) {
    const Caller who = caller(request);
    if (who.refusal) {
        return *who.refusal;
    }
    if (impressionSource == nullptr) {
        return errorResponse(404, "no impressions are configured on this service");
    }
    auto current = impressionSource->current();
    if (!current) {
        return errorResponse(503, "the impressions file has not held a JSON object yet");
    }
    return ApiResponse{200, std::move(*current), {}};
}

} // namespace corlune::server
