#include "ServiceCore.h"

#include <gtest/gtest.h>

#include <map>

using namespace corlune::server;
using namespace corlune::server::test;

namespace {

enum class Route { Verify, ClockIn, BreakStop, Input, Summary };

struct Case {
    const char* name;
    Route route;
    std::string body; ///< the query string for Summary
    int status;
    std::string key = {};
    const char* contentType = "application/json";
};

const std::string input = R"({"employeeId":"e1","jobId":"j1","startedAt":"2024-03-05T09:00:00Z",)";
const std::string inputEnd = R"("endedAt":"2024-03-05T09:01:00Z",)";
const std::string range = "&from=2024-03-05T00:00:00Z&to=2024-03-05T10:00:00Z";

ApiResponse send(ServiceCore& service, const Case& c) {
    static const std::map<Route, EventKind> kinds = {{Route::ClockIn, EventKind::ClockIn},
                                                     {Route::BreakStop, EventKind::BreakStop},
                                                     {Route::Input, EventKind::InputTrack}};
    const ApiRequest request{c.body, c.contentType, c.key, parseQuery(c.body), {}, "127.0.0.1"};
    return c.route == Route::Verify    ? service.handlers->verify(request)
           : c.route == Route::Summary ? service.handlers->summary(request)
                                       : service.handlers->report(kinds.at(c.route), request);
}

std::string clockIn(const std::string& at) {
    return R"({"employeeId":"e1","jobId":"j1","clockIn":")" + at + R"("})";
}

const std::string atNine = clockIn("2024-03-05T09:00:00Z");

const std::vector<Case> cases = {
    {"VerifyWithoutPassword", Route::Verify, R"({"employeeId":"e1","jobId":"j1"})", 400},
    {"VerifyNotJson", Route::Verify, "employeeId=e1", 400},
    {"VerifyAsPlainText", Route::Verify, "{}", 415, {}, "text/plain"},
    {"ClockInWithCharset", Route::ClockIn, atNine, 201, {}, "Application/JSON; charset=utf-8"},
    {"ClockInAsForm", Route::ClockIn, atNine, 415, {}, "application/x-www-form-urlencoded"},
    {"FirstInstant", Route::ClockIn, clockIn("2000-01-01T00:00:00Z"), 201},
    {"LastInstant", Route::ClockIn, clockIn("2100-01-01T00:00:00Z"), 201},
    {"Before2000", Route::ClockIn, clockIn("1999-12-31T23:59:59Z"), 400},
    {"After2100", Route::ClockIn, clockIn("2100-01-01T00:00:01Z"), 400},
    {"LeapDay", Route::ClockIn, clockIn("2024-02-29T23:59:59Z"), 201},
    {"NoLeapDay", Route::ClockIn, clockIn("2023-02-29T00:00:00Z"), 400},
    {"Hour24", Route::ClockIn, clockIn("2024-03-05T24:00:00Z"), 400},
    {"Fraction", Route::ClockIn, clockIn("2024-03-05T09:00:00.5Z"), 400},
    {"Offset", Route::ClockIn, clockIn("2024-03-05T09:00:00+00:00"), 400},
    {"LowerCase", Route::ClockIn, clockIn("2024-03-05t09:00:00z"), 400},
    {"NonAsciiDigit", Route::ClockIn, clockIn("2024-03-05T09:0\xd9\xa2:00Z"), 400},
    {"OtherKindsMember", Route::ClockIn,
     R"({"employeeId":"e1","jobId":"j1","clockOut":"2024-03-05T09:00:00Z"})", 400},
    {"JobNotAString", Route::BreakStop, R"({"employeeId":"e1","jobId":1,"end":"2024-03-05T09:00:00Z"})", 400},
    {"TrailingBytes", Route::ClockIn, atNine + "x", 400},
    {"InvalidUtf8", Route::ClockIn,
     R"({"employeeId":"e)"
     "\xff"
     R"(","jobId":"j1","clockIn":"2024-03-05T09:00:00Z"})",
     400},
    {"NestedTooDeep", Route::ClockIn,
     R"({"employeeId":"e1","jobId":"j1","clockIn":"2024-03-05T09:00:00Z","a":)" + std::string(33, '[') +
         std::string(33, ']') + "}",
     400},
    {"NestedInsideAString", Route::ClockIn,
     R"({"employeeId":"e1","jobId":"j1","clockIn":"2024-03-05T09:00:00Z","a":")" + std::string(40, '[') +
         R"("})",
     201},
    {"Input", Route::Input, input + inputEnd + R"("keystrokes":0,"clicks":9223372036854775807})", 201},
    {"InputWithoutEnd", Route::Input, input + R"("keystrokes":1,"clicks":1})", 400},
    {"InputEndingBeforeItStarts", Route::Input,
     input + R"("endedAt":"2024-03-05T08:59:59Z","keystrokes":1,"clicks":1})", 400},
    {"NegativeCount", Route::Input, input + inputEnd + R"("keystrokes":-1,"clicks":0})", 400},
    {"FractionalCount", Route::Input, input + inputEnd + R"("keystrokes":1.5,"clicks":0})", 400},
    {"CountBeyond64Bits", Route::Input, input + inputEnd + R"("keystrokes":1,"clicks":9223372036854775808})",
     400},
    {"LongestKey", Route::ClockIn, atNine, 201, std::string(255, 'k')},
    {"KeyTooLong", Route::ClockIn, atNine, 400, std::string(256, 'k')},
    {"KeyWithSpace", Route::ClockIn, atNine, 400, "a key"},
    {"SummaryWithoutTo", Route::Summary, "employeeId=e1&jobId=j1&from=2024-03-05T00:00:00Z", 400},
    {"SummaryParameterTwice", Route::Summary, "employeeId=e1&employeeId=e1&jobId=j1" + range, 400},
    {"SummaryFromAfterTo", Route::Summary,
     "employeeId=e1&jobId=j1&from=2024-03-05T10:00:00Z&to=2024-03-05T09:00:00Z", 400},
    {"SummaryBefore2000", Route::Summary,
     "employeeId=e1&jobId=j1&from=1970-01-01T00:00:00Z&to=2024-03-05T09:00:00Z", 400},
    {"SummaryOfAnUnknownEmployee", Route::Summary, "employeeId=x&jobId=j1" + range, 403},
    // IDs that PostgreSQL's text cannot hold are no one's, and never cut short to someone's.
    {"SummaryOfAnIdWithNul", Route::Summary, "employeeId=e1%00x&jobId=j1" + range, 403},
    {"SummaryOfAnIdNotUtf8", Route::Summary, "employeeId=e1&jobId=j1%FF" + range, 403},
    {"ClockInOfAnIdWithNul", Route::ClockIn,
     R"({"employeeId":"e1\u0000","jobId":"j1","clockIn":"2024-03-05T09:00:00Z"})", 403}};

TEST(Requests, AreAnsweredWithTheirStatus) {
    for (const Case& c : cases) {
        ServiceCore service(TokenRule{.allowAnonymous = true});
        const ApiResponse answer = send(service, c);
        EXPECT_EQ(answer.status, c.status) << c.name << ' ' << answer.body;
        EXPECT_TRUE(answer.status < 400 || answer.body["error"].is_string()) << c.name << ' ' << answer.body;
    }
}

TEST(Query, DecodesPercentEscapesAndKeepsPlus) {
    const QueryParams params =
        parseQuery("employeeId=Zo%C3%AB%20%26%20Co%2B1&jobId=a+b&from=%zz%4&bare&&x=1=2");
    EXPECT_EQ(params, (QueryParams{{"employeeId", "Zo\xC3\xAB & Co+1"},
                                   {"jobId", "a+b"},
                                   {"from", "%zz%4"},
                                   {"bare", ""},
                                   {"x", "1=2"}}));
}

} // namespace
