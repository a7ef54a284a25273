#include "HttpTransport.h"

#include <QJsonDocument>

#include <gtest/gtest.h>

namespace {

TEST(JsonAnswer, OnlyATopLevelObjectIsReturned) {
    const struct {
        const char* name;
        qint64 status;
        QByteArray body;
        bool error;
        std::optional<QJsonObject> result;
    } cases[] = {
        {"object", 200, R"({"ok":true})", false, QJsonObject{{"ok", true}}},
        {"object with error status", 404, R"({"error":"nope"})", false, QJsonObject{{"error", "nope"}}},
        {"array dropped", 200, "[1,2]", false, std::nullopt},
        {"empty body", 204, "", false, std::nullopt},
        {"not JSON", 200, "<html>", true, std::nullopt},
        {"bare string", 200, R"("text")", true, std::nullopt},
        {"bare number", 200, "42", true, std::nullopt},
        {"bare true", 200, "true", true, std::nullopt},
        {"bare null", 200, "null", true, std::nullopt},
        {"white space only", 200, " ", true, std::nullopt},
        {"trailing garbage", 200, "{} x", true, std::nullopt},
        {"truncated", 200, R"({"ok":)", true, std::nullopt},
    };
    for (const auto& c : cases) {
        const JsonReply reply = HttpTransport::replyFromAnswer(c.status, c.body);
        EXPECT_EQ(reply.status, c.status) << c.name;
        EXPECT_EQ(reply.error.has_value(), c.error) << c.name;
        EXPECT_EQ(reply.result, c.result) << c.name;
    }
}

TEST(JsonAnswer, SuccessIsExactly200To299) {
    const struct {
        qint64 status;
        bool success;
    } cases[] = {{0, false},  {-1, false}, {-200, false}, {100, false}, {199, false}, {200, true},
                 {204, true}, {299, true}, {300, false},  {404, false}, {500, false}, {1 << 30, false}};
    for (const auto& c : cases)
        EXPECT_EQ(isSuccessStatus(c.status), c.success) << c.status;
}

} // namespace
