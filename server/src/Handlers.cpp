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

ApiResponse accessRefusal(Access access) {
    switch (access) {
    case Access::UnknownEmployee:
        return errorResponse(404, "unknown employee");
    case Access::JobNotAllowed:
        return errorResponse(403, "the employee may not work on this job");
    case Access::Allowed:
    case Access::Failed:
        break;
    }
    return errorResponse(503, "storage unavailable");
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
    constexpr std::string_view json = "application/json";
    return type.size() == json.size() &&
           std::equal(type.begin(), type.end(), json.begin(),
                      [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
}

ApiResponse errorResponse(int status, std::string message) {
    return ApiResponse{status, {{"error", std::move(message)}}, {}};
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
    const auto answer = [](bool ok) { return ApiResponse{200, {{"ok", ok}}, {}}; };
    if (v.employeeId.size() > maxIdBytes || !throttle_.begin(v.employeeId)) {
        return answer(false);
    }
    const CredentialsLookup lookup = storage_.credentials(v.employeeId, v.jobId);
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
        throttle_.finish(v.employeeId, VerifyThrottle::Attempt::NotChecked);
        return accessRefusal(lookup.access);
    }
    throttle_.finish(v.employeeId, ok ? VerifyThrottle::Attempt::Succeeded : VerifyThrottle::Attempt::Failed);
    return answer(ok);
}

ApiResponse Handlers::report(EventKind kind, const ApiRequest& request) {
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
    const StoreResult result = storage_.store(*parsed.value, request.idempotencyKey);
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
        return accessRefusal(Access::UnknownEmployee);
    case StoreOutcome::JobNotAllowed:
        return accessRefusal(Access::JobNotAllowed);
    case StoreOutcome::Failed:
        break;
    }
    return accessRefusal(Access::Failed);
}

ApiResponse Handlers::summary(const ApiRequest& request) {
    const auto parsed = parseSummaryQuery(request.query);
    if (!parsed.value) {
        return errorResponse(400, parsed.error);
    }
    const SummaryQuery& q = *parsed.value;
    TimelineLookup lookup = storage_.timeline(q.employeeId, q.jobId, q.from, q.to);
    if (lookup.access != Access::Allowed) {
        return accessRefusal(lookup.access);
    }
    return ApiResponse{
        200, {{"totalWorkMs", workedMilliseconds(std::move(lookup.events), q.from, q.to)}}, {}};
}

ApiResponse Handlers::version() const {
    ApiResponse response{200, {{"version", version_.latestVersion}}, {}};
    if (version_.updateAvailable) {
        response.body["updateAvailable"] = *version_.updateAvailable;
    }
    return response;
}

ApiResponse Handlers::impressions() {
    if (impressions_ == nullptr) {
        return errorResponse(404, "no impressions are configured on this service");
    }
    auto current = impressions_->current();
    if (!current) {
        return errorResponse(503, "the impressions file has not held a JSON object yet");
    }
    return ApiResponse{200, std::move(*current), {}};
}

} // namespace corlune::server
