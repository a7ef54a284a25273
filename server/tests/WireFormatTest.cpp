#include "WireFormat.h"

#include <gtest/gtest.h>

#include <string>

using namespace corlune::server;

namespace {

TEST(JsonObject, AcceptsAnObject) {
    const auto parsed = parseJsonObject(R"({"a": [1, {"b": "c"}]})");
    ASSERT_TRUE(parsed.value.has_value()) << parsed.error;
    EXPECT_EQ((*parsed.value)["a"][1]["b"], "c");
}

class JsonObjectRefused : public testing::TestWithParam<std::string> {};

TEST_P(JsonObjectRefused, WithAnError) {
    const auto parsed = parseJsonObject(GetParam());
    EXPECT_FALSE(parsed.value.has_value());
    EXPECT_FALSE(parsed.error.empty());
}

INSTANTIATE_TEST_SUITE_P(Bodies, JsonObjectRefused,
                         testing::Values("", " ", "[]", "[1,2]", "\"text\"", "42", "null", "true", "{",
                                         "{\"a\":}", "{\"a\":1}x", "{'a':1}", "{\"a\":\"\xff\"}",
                                         "{\"a\":\"\xc3\"}", "{\"a\":\"\xed\xa0\x80\"}", "{\"a\":1e400}",
                                         std::string(33, '[') + std::string(33, ']'),
                                         "{\"a\":" + std::string(40, '{') + std::string(40, '}') + "}",
                                         std::string(100000, '[')));

TEST(JsonObject, NestingInsideStringsDoesNotCount) {
    const std::string deepText = "{\"a\":\"" + std::string(100, '[') + "\\\"" + std::string(100, '{') + "\"}";
    EXPECT_TRUE(parseJsonObject(deepText).value.has_value());
}

TEST(JsonObject, ThirtyTwoLevelsAreAllowed) {
    EXPECT_TRUE(
        parseJsonObject("{\"a\":" + std::string(31, '[') + std::string(31, ']') + "}").value.has_value());
}

TEST(VerifyBody, ReadsTheThreeMembers) {
    const auto parsed = parseVerifyRequest(R"({"employeeId":"e1","jobId":"","password":"p w","extra":1})");
    ASSERT_TRUE(parsed.value.has_value()) << parsed.error;
    EXPECT_EQ(parsed.value->employeeId, "e1");
    EXPECT_EQ(parsed.value->jobId, "");
    EXPECT_EQ(parsed.value->password, "p w");
}

TEST(VerifyBody, RefusesMissingOrMistypedMembers) {
    EXPECT_EQ(parseVerifyRequest(R"({"employeeId":"e1","jobId":"j"})").error, "missing \"password\"");
    EXPECT_EQ(parseVerifyRequest(R"({"employeeId":1,"jobId":"j","password":"p"})").error,
              "\"employeeId\" must be a string");
    EXPECT_FALSE(parseVerifyRequest(R"({"employeeId":"e","jobId":null,"password":"p"})").value.has_value());
}

struct EventCase {
    EventKind kind;
    const char* body;
};

class EventBodyAccepted : public testing::TestWithParam<EventCase> {};

TEST_P(EventBodyAccepted, ReadsTheInstant) {
    const auto parsed = parseEventReport(GetParam().kind, GetParam().body);
    ASSERT_TRUE(parsed.value.has_value()) << parsed.error;
    EXPECT_EQ(parsed.value->kind, GetParam().kind);
    EXPECT_EQ(parsed.value->employeeId, "e1");
    EXPECT_EQ(parsed.value->jobId, "j1");
    EXPECT_EQ(parsed.value->at, 1709647629);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, EventBodyAccepted,
    testing::Values(
        EventCase{EventKind::ClockIn, R"({"employeeId":"e1","jobId":"j1","clockIn":"2024-03-05T14:07:09Z"})"},
        EventCase{EventKind::ClockOut,
                  R"({"jobId":"j1","clockOut":"2024-03-05T14:07:09Z","employeeId":"e1"})"},
        EventCase{EventKind::BreakStart,
                  R"({"employeeId":"e1","jobId":"j1","start":"2024-03-05T14:07:09Z"})"},
        EventCase{EventKind::BreakStop, R"({"employeeId":"e1","jobId":"j1","end":"2024-03-05T14:07:09Z"})"},
        EventCase{EventKind::InputTrack,
                  R"({"employeeId":"e1","jobId":"j1","startedAt":"2024-03-05T14:07:09Z",)"
                  R"("endedAt":"2024-03-05T14:08:00Z","keystrokes":0,"clicks":9223372036854775807})"}));

TEST(EventBody, InputCountsAndWindow) {
    const auto parsed = parseEventReport(
        EventKind::InputTrack, R"({"employeeId":"e","jobId":"j","startedAt":"2024-03-05T14:07:09Z",)"
                               R"("endedAt":"2024-03-05T14:08:00Z","keystrokes":12,"clicks":3})");
    ASSERT_TRUE(parsed.value.has_value()) << parsed.error;
    EXPECT_EQ(parsed.value->endedAt, 1709647680);
    EXPECT_EQ(parsed.value->keystrokes, 12);
    EXPECT_EQ(parsed.value->clicks, 3);
}

struct Refusal {
    EventKind kind;
    std::string body;
    const char* error;
};

class EventBodyRefused : public testing::TestWithParam<Refusal> {};

TEST_P(EventBodyRefused, Names) {
    EXPECT_EQ(parseEventReport(GetParam().kind, GetParam().body).error, GetParam().error);
}

constexpr const char* input =
    R"({"employeeId":"e","jobId":"j","startedAt":"2024-03-05T14:07:09Z","endedAt":"2024-03-05T14:08:00Z",)";

INSTANTIATE_TEST_SUITE_P(
    Bodies, EventBodyRefused,
    testing::Values(
        Refusal{EventKind::ClockIn, R"({"employeeId":"e","jobId":"j"})", "missing \"clockIn\""},
        Refusal{EventKind::ClockIn, R"({"employeeId":"e","jobId":"j","clockOut":"2024-03-05T14:07:09Z"})",
                "missing \"clockIn\""},
        Refusal{EventKind::ClockOut, R"({"employeeId":"e","jobId":"j","clockOut":"2024-03-05 14:07:09"})",
                "\"clockOut\" must be a UTC timestamp YYYY-MM-DDTHH:MM:SSZ"},
        Refusal{EventKind::BreakStart, R"({"employeeId":"e","jobId":"j","start":1709647629})",
                "\"start\" must be a string"},
        Refusal{EventKind::BreakStop, R"({"employeeId":["e"],"jobId":"j","end":"2024-03-05T14:07:09Z"})",
                "\"employeeId\" must be a string"},
        Refusal{EventKind::BreakStop, R"({"employeeId":"e","end":"2024-03-05T14:07:09Z"})",
                "missing \"jobId\""},
        Refusal{
            EventKind::InputTrack,
            R"({"employeeId":"e","jobId":"j","startedAt":"2024-03-05T14:07:09Z","keystrokes":1,"clicks":1})",
            "missing \"endedAt\""},
        Refusal{EventKind::InputTrack, (std::string(input) + R"("keystrokes":-1,"clicks":0})"),
                "\"keystrokes\" must be an integer from 0 to 9223372036854775807"},
        Refusal{EventKind::InputTrack, (std::string(input) + R"("keystrokes":1.5,"clicks":0})"),
                "\"keystrokes\" must be an integer from 0 to 9223372036854775807"},
        Refusal{EventKind::InputTrack, (std::string(input) + R"("keystrokes":"3","clicks":0})"),
                "\"keystrokes\" must be an integer from 0 to 9223372036854775807"},
        Refusal{EventKind::InputTrack, (std::string(input) + R"("keystrokes":true,"clicks":0})"),
                "\"keystrokes\" must be an integer from 0 to 9223372036854775807"},
        Refusal{EventKind::InputTrack,
                (std::string(input) + R"("keystrokes":1,"clicks":9223372036854775808})"),
                "\"clicks\" must be an integer from 0 to 9223372036854775807"},
        Refusal{EventKind::ClockIn, "[]", "the body must be a JSON object"}));

QueryParams query(const char* employee, const char* job, const char* from, const char* to) {
    return {{"employeeId", employee}, {"jobId", job}, {"from", from}, {"to", to}};
}

TEST(SummaryQuery, ReadsTheFourParameters) {
    const auto parsed = parseSummaryQuery(query("a b&c", "", "2024-03-04T22:00:00Z", "2024-03-05T14:07:09Z"));
    ASSERT_TRUE(parsed.value.has_value()) << parsed.error;
    EXPECT_EQ(parsed.value->employeeId, "a b&c");
    EXPECT_EQ(parsed.value->jobId, "");
    EXPECT_EQ(parsed.value->from, 1709589600);
    EXPECT_EQ(parsed.value->to, 1709647629);
}

TEST(SummaryQuery, RefusesMissingRepeatedOrBadParameters) {
    QueryParams missing = query("e", "j", "2024-03-05T00:00:00Z", "2024-03-05T01:00:00Z");
    missing.erase("to");
    EXPECT_EQ(parseSummaryQuery(missing).error, "missing query parameter to");
    QueryParams twice = query("e", "j", "2024-03-05T00:00:00Z", "2024-03-05T01:00:00Z");
    twice.emplace("employeeId", "f");
    EXPECT_EQ(parseSummaryQuery(twice).error, "query parameter employeeId given twice");
    EXPECT_FALSE(parseSummaryQuery(query("e", "j", "2024-03-05", "2024-03-05T01:00:00Z")).value.has_value());
    EXPECT_EQ(parseSummaryQuery(query("e", "j", "2024-03-05T02:00:00Z", "2024-03-05T01:00:00Z")).error,
              "from must not be after to");
}

TEST(Query, DecodesPercentEscapesAndKeepsPlus) {
    const QueryParams params =
        parseQuery("employeeId=Zo%C3%AB%20%26%20Co%2B1&jobId=a+b&from=%zz%4&empty=&bare&&x=1=2");
    EXPECT_EQ(params.find("employeeId")->second, "Zo\xC3\xAB & Co+1");
    EXPECT_EQ(params.find("jobId")->second, "a+b");
    EXPECT_EQ(params.find("from")->second, "%zz%4");
    EXPECT_EQ(params.find("empty")->second, "");
    EXPECT_EQ(params.find("bare")->second, "");
    EXPECT_EQ(params.find("x")->second, "1=2");
    EXPECT_EQ(params.size(), 6u);
    EXPECT_TRUE(parseQuery("").empty());
}

TEST(JsonText, ReplacesInvalidUtf8InsteadOfThrowing) {
    EXPECT_EQ(toJsonText(nlohmann::json{{"e", std::string("a\xff")}}), "{\"e\":\"a\xEF\xBF\xBD\"}");
}

} // namespace
