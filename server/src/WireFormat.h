#pragma once

#include "Timestamp.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace corlune::server {

/// The event reports the service stores; the numbers are stored in the database.
enum class EventKind : int { ClockIn = 1, ClockOut = 2, BreakStart = 3, BreakStop = 4, InputTrack = 5 };

struct VerifyRequest {
    std::string employeeId;
    std::string jobId;
    std::string password;
};

/// One clock, break or input report. For an input report `at` is "startedAt"; `endedAt`,
/// `keystrokes` and `clicks` are used by input reports only and stay 0 for the others.
struct EventReport {
    EventKind kind = EventKind::ClockIn;
    std::string employeeId;
    std::string jobId;
    UnixSeconds at = 0;
    UnixSeconds endedAt = 0;
    std::int64_t keystrokes = 0;
    std::int64_t clicks = 0;

    bool operator==(const EventReport&) const = default;
};

struct SummaryQuery {
    std::string employeeId;
    std::string jobId;
    UnixSeconds from = 0;
    UnixSeconds to = 0;
};

/// A parse result: a value, or the text of a 400 answer.
template <typename T>
struct Parsed {
    std::optional<T> value;
    std::string error;

    static Parsed fail(std::string why) { return Parsed{std::nullopt, std::move(why)}; }
};

using QueryParams = std::multimap<std::string, std::string>;

/// The parameters of a query string ("a=1&b=2", without the "?"), percent-decoded as a URL
/// query is (RFC 3986): "+" stays "+", so a value sent with "+" unencoded keeps it, and one sent
/// as %2B too. An escape that is not %XX is kept as written.
QueryParams parseQuery(std::string_view query);

/// Nesting deeper than this is refused before the JSON parser sees the body.
inline constexpr int maxJsonDepth = 32;

/// The body as a JSON object: strict JSON, valid UTF-8, at most maxJsonDepth levels deep.
Parsed<nlohmann::json> parseJsonObject(std::string_view body);

Parsed<VerifyRequest> parseVerifyRequest(std::string_view body);

/// Members by kind: "clockIn", "clockOut", "start", "end", or for input reports "startedAt",
/// "endedAt" (not before "startedAt"), "keystrokes" and "clicks" (integers >= 0); always
/// "employeeId" and "jobId".
/// Members the service does not know are ignored.
Parsed<EventReport> parseEventReport(EventKind kind, std::string_view body);

/// employeeId, jobId, from and to, each given once (already percent-decoded), from <= to.
Parsed<SummaryQuery> parseSummaryQuery(const QueryParams& query);

/// Compact JSON text; invalid UTF-8 in a string is replaced rather than thrown on.
std::string toJsonText(const nlohmann::json& value);

} // namespace corlune::server
