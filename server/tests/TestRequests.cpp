#include "ServiceCore.h"

#include <gtest/gtest.h>

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
    const ApiRequest request{c.body, c.contentType, c.key, parseQuery(c.body), {}, "127.0.0.1"};
    switch (c.route) {
    case Route::Verify:
        return service.handlers->verify(request);
    case Route::ClockIn:
        return service.handlers->report(EventKind::ClockIn, request);
    case Route::BreakStop:
        return service.handlers->report(EventKind::BreakStop, request);
    case Route::Input:
        return service.handlers->report(EventKind::InputTrack, request);
    case Route::Summary:
        break;
    }
    return service.handlers->summary(request);
}

class Requests : public testing::TestWithParam<Case> {};

TEST_P(Requests, AreAnsweredWithTheirStatus) {
    ServiceCore service(TokenRule{.allowAnonymous = true});
    const ApiResponse answer = send(service, GetParam());
    EXPECT_EQ(answer.status, GetParam().status) << answer.body;
    EXPECT_TRUE(answer.status < 400 || answer.body["error"].is_string()) << answer.body;
}

std::string clockIn(const std::string& at) {
    return R"({"employeeId":"e1","jobId":"j1","clockIn":")" + at + R"("})";
}

const std::string atNine = clockIn("2024-03-05T09:00:00Z");

INSTANTIATE_TEST_SUITE_P(
    Table, Requests,
    testing::Values(
        Case{"VerifyWithoutPassword", Route::Verify, R"({"employeeId":"e1","jobId":"j1"})", 400},
        Case{"VerifyNotJson", Route::Verify, "employeeId=e1", 400},
        Case{"VerifyAsPlainText", Route::Verify, "{}", 415, {}, "text/plain"},
        Case{"ClockIn", Route::ClockIn, atNine, 201},
        Case{"ClockInWithCharset", Route::ClockIn, atNine, 201, {}, "Application/JSON; charset=utf-8"},
        Case{"ClockInAsForm", Route::ClockIn, atNine, 415, {}, "application/x-www-form-urlencoded"},
        Case{"FirstInstant", Route::ClockIn, clockIn("2000-01-01T00:00:00Z"), 201},
        Case{"LastInstant", Route::ClockIn, clockIn("2100-01-01T00:00:00Z"), 201},
        Case{"Before2000", Route::ClockIn, clockIn("1999-12-31T23:59:59Z"), 400},
        Case{"After2100", Route::ClockIn, clockIn("2100-01-01T00:00:01Z"), 400},
        Case{"LeapDay", Route::ClockIn, clockIn("2024-02-29T23:59:59Z"), 201},
        Case{"NoLeapDay", Route::ClockIn, clockIn("2023-02-29T00:00:00Z"), 400},
        Case{"Hour24", Route::ClockIn, clockIn("2024-03-05T24:00:00Z"), 400},
        Case{"Fraction", Route::ClockIn, clockIn("2024-03-05T09:00:00.5Z"), 400},
        Case{"Offset", Route::ClockIn, clockIn("2024-03-05T09:00:00+00:00"), 400},
        Case{"LowerCase", Route::ClockIn, clockIn("2024-03-05t09:00:00z"), 400},
        Case{"NonAsciiDigit", Route::ClockIn, clockIn("2024-03-05T09:0\xd9\xa2:00Z"), 400},
        Case{"OtherKindsMember", Route::ClockIn,
             R"({"employeeId":"e1","jobId":"j1","clockOut":"2024-03-05T09:00:00Z"})", 400},
        Case{"JobNotAString", Route::BreakStop,
             R"({"employeeId":"e1","jobId":1,"end":"2024-03-05T09:00:00Z"})", 400},
        Case{"TrailingBytes", Route::ClockIn, atNine + "x", 400},
        Case{"InvalidUtf8", Route::ClockIn,
             R"({"employeeId":"e)"
             "\xff"
             R"(","jobId":"j1","clockIn":"2024-03-05T09:00:00Z"})",
             400},
        Case{"NestedTooDeep", Route::ClockIn,
             R"({"employeeId":"e1","jobId":"j1","clockIn":"2024-03-05T09:00:00Z","a":)" +
                 std::string(33, '[') + std::string(33, ']') + "}",
             400},
        Case{"NestedInsideAString", Route::ClockIn,
             R"({"employeeId":"e1","jobId":"j1","clockIn":"2024-03-05T09:00:00Z","a":")" +
                 std::string(40, '[') + R"("})",
             201},
        Case{"Input", Route::Input, input + inputEnd + R"("keystrokes":0,"clicks":9223372036854775807})",
             201},
        Case{"InputWithoutEnd", Route::Input, input + R"("keystrokes":1,"clicks":1})", 400},
        Case{"InputEndingBeforeItStarts", Route::Input,
             input + R"("endedAt":"2024-03-05T08:59:59Z","keystrokes":1,"clicks":1})", 400},
        Case{"NegativeCount", Route::Input, input + inputEnd + R"("keystrokes":-1,"clicks":0})", 400},
        Case{"FractionalCount", Route::Input, input + inputEnd + R"("keystrokes":1.5,"clicks":0})", 400},
        Case{"CountBeyond64Bits", Route::Input,
             input + inputEnd + R"("keystrokes":1,"clicks":9223372036854775808})", 400},
        Case{"LongestKey", Route::ClockIn, atNine, 201, std::string(255, 'k')},
        Case{"KeyTooLong", Route::ClockIn, atNine, 400, std::string(256, 'k')},
        Case{"KeyWithSpace", Route::ClockIn, atNine, 400, "a key"},
        Case{"Summary", Route::Summary, "employeeId=e1&jobId=j1" + range, 200},
        Case{"SummaryWithoutTo", Route::Summary, "employeeId=e1&jobId=j1&from=2024-03-05T00:00:00Z", 400},
        Case{"SummaryParameterTwice", Route::Summary, "employeeId=e1&employeeId=e1&jobId=j1" + range, 400},
        Case{"SummaryFromAfterTo", Route::Summary,
             "employeeId=e1&jobId=j1&from=2024-03-05T10:00:00Z&to=2024-03-05T09:00:00Z", 400},
        Case{"SummaryBefore2000", Route::Summary,
             "employeeId=e1&jobId=j1&from=1970-01-01T00:00:00Z&to=2024-03-05T09:00:00Z", 400},
        Case{"SummaryOfAnUnknownEmployee", Route::Summary, "employeeId=x&jobId=j1" + range, 403},
        // IDs that PostgreSQL's text cannot hold are no one's, and never cut short to someone's.
        Case{"SummaryOfAnIdWithNul", Route::Summary, "employeeId=e1%00x&jobId=j1" + range, 403},
        Case{"SummaryOfAnIdNotUtf8", Route::Summary, "employeeId=e1&jobId=j1%FF" + range, 403},
        Case{"ClockInOfAnIdWithNul", Route::ClockIn,
             R"({"employeeId":"e1\u0000","jobId":"j1","clockIn":"2024-03-05T09:00:00Z"})", 403}),
    [](const testing::TestParamInfo<Case>& row) { return std::string(row.param.name); });

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
