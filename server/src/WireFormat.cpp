#include "WireFormat.h"

#include <algorithm>
#include <limits>

namespace corlune::server {

namespace {

using nlohmann::json;

/// Deepest nesting of arrays and objects, counted outside strings; stops early past the limit.
int nestingDepth(std::string_view text) {
    int depth = 0;
    int deepest = 0;
    bool inString = false;
    bool escaped = false;
    for (const char c : text) {
        if (inString) {
            if (escaped) {
                escaped = false;
            } else if (c == '\\') {
                escaped = true;
            } else if (c == '"') {
                inString = false;
            }
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            deepest = std::max(deepest, ++depth);
            if (deepest > maxJsonDepth) {
                break;
            }
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return deepest;
}

std::string quoted(std::string_view name) {
    return "\"" + std::string(name) + "\"";
}

bool readString(const json& object, std::string_view name, std::string& out, std::string& error) {
    const auto it = object.find(name);
    if (it == object.end()) {
        error = "missing " + quoted(name);
        return false;
    }
    if (!it->is_string()) {
        error = quoted(name) + " must be a string";
        return false;
    }
    out = it->get<std::string>();
    return true;
}

bool readTimestamp(const json& object, std::string_view name, UnixSeconds& out, std::string& error) {
    std::string text;
    if (!readString(object, name, text, error)) {
        return false;
    }
    const auto instant = parseTimestamp(text);
    if (!instant) {
        error = quoted(name) + " must be a UTC timestamp YYYY-MM-DDTHH:MM:SSZ from 2000 to 2100";
        return false;
    }
    out = *instant;
    return true;
}

bool readCount(const json& object, std::string_view name, std::int64_t& out, std::string& error) {
    const auto it = object.find(name);
    if (it == object.end()) {
        error = "missing " + quoted(name);
        return false;
    }
    const bool fits = it->is_number_integer() &&
                      (it->is_number_unsigned() ? it->get<std::uint64_t>() <=
                                                      std::uint64_t{std::numeric_limits<std::int64_t>::max()}
                                                : it->get<std::int64_t>() >= 0);
    if (!fits) {
        error = quoted(name) + " must be an integer from 0 to 9223372036854775807";
        return false;
    }
    out = it->get<std::int64_t>();
    return true;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::string percentDecode(std::string_view text) {
    std::string decoded;
    decoded.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
            hexValue(text[i + 2]) >= 0) {
            decoded += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            decoded += text[i];
        }
    }
    return decoded;
}

const char* instantMember(EventKind kind) {
    switch (kind) {
    case EventKind::ClockIn:
        return "clockIn";
    case EventKind::ClockOut:
        return "clockOut";
    case EventKind::BreakStart:
        return "start";
    case EventKind::BreakStop:
        return "end";
    case EventKind::InputTrack:
        return "startedAt";
    }
    return "";
}

} // namespace

QueryParams parseQuery(std::string_view query) {
    QueryParams params;
    while (!query.empty()) {
        const auto end = query.find('&');
        const std::string_view pair = query.substr(0, end);
        if (!pair.empty()) {
            const auto equals = pair.find('=');
            params.emplace(percentDecode(pair.substr(0, equals)),
                           equals == std::string_view::npos ? std::string()
                                                            : percentDecode(pair.substr(equals + 1)));
        }
        query = end == std::string_view::npos ? std::string_view() : query.substr(end + 1);
    }
    return params;
}

Parsed<json> parseJsonObject(std::string_view body) {
    using Result = Parsed<json>;
    if (nestingDepth(body) > maxJsonDepth) {
        return Result::fail("the body is nested more than " + std::to_string(maxJsonDepth) + " levels deep");
    }
    json value;
    try {
        value = json::parse(body);
    } catch (const json::exception&) {
        return Result::fail("the body is not valid JSON in UTF-8");
    }
    if (!value.is_object()) {
        return Result::fail("the body must be a JSON object");
    }
    return Result{std::move(value), {}};
}

Parsed<VerifyRequest> parseVerifyRequest(std::string_view body) {
    using Result = Parsed<VerifyRequest>;
    auto object = parseJsonObject(body);
    if (!object.value) {
        return Result::fail(std::move(object.error));
    }
    VerifyRequest request;
    std::string error;
    if (!readString(*object.value, "employeeId", request.employeeId, error) ||
        !readString(*object.value, "jobId", request.jobId, error) ||
        !readString(*object.value, "password", request.password, error)) {
        return Result::fail(std::move(error));
    }
    return Result{std::move(request), {}};
}

Parsed<EventReport> parseEventReport(EventKind kind, std::string_view body) {
    using Result = Parsed<EventReport>;
    auto object = parseJsonObject(body);
    if (!object.value) {
        return Result::fail(std::move(object.error));
    }
    const json& o = *object.value;
    EventReport report;
    report.kind = kind;
    std::string error;
    bool ok = readString(o, "employeeId", report.employeeId, error) &&
              readString(o, "jobId", report.jobId, error) &&
              readTimestamp(o, instantMember(kind), report.at, error);
    if (ok && kind == EventKind::InputTrack) {
        ok = readTimestamp(o, "endedAt", report.endedAt, error) &&
             readCount(o, "keystrokes", report.keystrokes, error) &&
             readCount(o, "clicks", report.clicks, error);
        if (ok && report.endedAt < report.at) {
            return Result::fail("\"endedAt\" must not be before \"startedAt\"");
        }
    }
    if (!ok) {
        return Result::fail(std::move(error));
    }
    return Result{std::move(report), {}};
}

Parsed<SummaryQuery> parseSummaryQuery(const QueryParams& query) {
    using Result = Parsed<SummaryQuery>;
    const auto single = [&](const std::string& name, std::string& out, std::string& error) {
        const auto count = query.count(name);
        if (count != 1) {
            error =
                count == 0 ? "missing query parameter " + name : "query parameter " + name + " given twice";
            return false;
        }
        out = query.find(name)->second;
        return true;
    };
    SummaryQuery summary;
    std::string error;
    std::string from;
    std::string to;
    if (!single("employeeId", summary.employeeId, error) || !single("jobId", summary.jobId, error) ||
        !single("from", from, error) || !single("to", to, error)) {
        return Result::fail(std::move(error));
    }
    const auto fromInstant = parseTimestamp(from);
    const auto toInstant = parseTimestamp(to);
    if (!fromInstant || !toInstant) {
        return Result::fail("from and to must be UTC timestamps YYYY-MM-DDTHH:MM:SSZ from 2000 to 2100");
    }
    if (*fromInstant > *toInstant) {
        return Result::fail("from must not be after to");
    }
    summary.from = *fromInstant;
    summary.to = *toInstant;
    return Result{std::move(summary), {}};
}

std::string toJsonText(const json& value) {
    return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

} // namespace corlune::server
