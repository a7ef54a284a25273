#include "QtPrinters.h"
#include "SocialTexts.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <gtest/gtest.h>

using namespace SocialTexts;

namespace {

QJsonObject parse(const char* json) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray(json), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << json;
    return document.object();
}

const QString website = "Website (from socials) views: N/A";

TEST(SocialTexts, ResponseShapesGiveTheFourLines) {
    const struct {
        const char* name;
        const char* json;
        SocialLines lines;
    } cases[] = {
        {"both totals and an Instagram post with its time",
         R"({"instagram":{"totalImpressions":1200,"latest":{"impressions":340,"timestamp":"2024-03-05T10:00:00Z"}},
             "tiktok":{"totalImpressions":560,"latest":{"impressions":99}}})",
         {"Instagram impressions: 1200", "TikTok impressions: 560", website,
          "Latest post: 340 impressions at 2024-03-05T10:00:00Z"}},
        {"Instagram post without a time",
         R"({"instagram":{"totalImpressions":1,"latest":{"impressions":2}},"tiktok":{"totalImpressions":3}})",
         {"Instagram impressions: 1", "TikTok impressions: 3", website,
          "Latest post: 2 impressions at \u2013"}},
        {"Instagram latest is a string: TikTok's post, without a time",
         R"({"instagram":{"totalImpressions":1,"latest":"yesterday"},
             "tiktok":{"totalImpressions":3,"latest":{"impressions":77,"timestamp":"t"}}})",
         {"Instagram impressions: 1", "TikTok impressions: 3", website, "Latest post: 77 impressions"}},
        {"Instagram latest without impressions",
         R"({"instagram":{"latest":{"timestamp":"t"}},"tiktok":{"latest":{"impressions":5}}})",
         {"Instagram impressions: N/A", "TikTok impressions: N/A", website, "Latest post: 5 impressions"}},
        {"no usable latest post",
         R"({"instagram":{"totalImpressions":1,"latest":[1]},"tiktok":{"totalImpressions":2,"latest":{}}})",
         {"Instagram impressions: 1", "TikTok impressions: 2", website, "Latest post: N/A"}},
        {"tiktok absent",
         R"({"instagram":{"totalImpressions":8,"latest":{"impressions":4,"timestamp":"x"}}})",
         {"Instagram impressions: 8", "TikTok impressions: N/A", website, "Latest post: 4 impressions at x"}},
        {"empty object",
         "{}",
         {"Instagram impressions: N/A", "TikTok impressions: N/A", website, "Latest post: N/A"}},
        {"channels that are not objects",
         R"({"instagram":5,"tiktok":[{"totalImpressions":1}]})",
         {"Instagram impressions: N/A", "TikTok impressions: N/A", website, "Latest post: N/A"}},
        {"a total given as a string is shown verbatim",
         R"({"instagram":{"totalImpressions":"1.2k"},"tiktok":{"totalImpressions":" <b>7</b> "}})",
         {"Instagram impressions: 1.2k", "TikTok impressions:  <b>7</b> ", website, "Latest post: N/A"}},
        {"website views in the answer are ignored",
         R"({"website":{"views":1000},"webViews":12})",
         {"Instagram impressions: N/A", "TikTok impressions: N/A", website, "Latest post: N/A"}},
        {"a null total is a value, not a missing one",
         R"({"instagram":{"totalImpressions":null}})",
         {"Instagram impressions: null", "TikTok impressions: N/A", website, "Latest post: N/A"}},
        {"placeholders inside values are not expanded",
         R"({"instagram":{"latest":{"impressions":"%2","timestamp":"%1"}}})",
         {"Instagram impressions: N/A", "TikTok impressions: N/A", website,
          "Latest post: %2 impressions at %1"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(linesFromResponse(parse(c.json)), c.lines) << c.name;
}

TEST(SocialTexts, ValuesReadAsTheirText) {
    const struct {
        const char* name;
        const char* json; // the value, under "v"
        const char* text;
    } cases[] = {
        {"integer", R"({"v":1234567})", "1234567"},
        {"zero", R"({"v":0})", "0"},
        {"negative", R"({"v":-12})", "-12"},
        {"largest 64-bit integer", R"({"v":9223372036854775807})", "9223372036854775807"},
        {"integer beyond 64 bits", R"({"v":100000000000000000000})", "100000000000000000000"},
        {"whole number written with a fraction", R"({"v":1000.0})", "1000"},
        {"fraction", R"({"v":12.5})", "12.5"},
        {"fraction without binary noise", R"({"v":0.1})", "0.1"},
        {"huge", R"({"v":1e300})", "1e+300"},
        {"string", R"({"v":"12,345"})", "12,345"},
        {"empty string", R"({"v":""})", ""},
        {"true", R"({"v":true})", "true"},
        {"null", R"({"v":null})", "null"},
        {"object", R"({"v":{"a":1}})", R"({"a":1})"},
        {"array", R"({"v":[1,"x"]})", R"([1,"x"])"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(valueText(parse(c.json).value("v")), QString::fromUtf8(c.text)) << c.name;
}

} // namespace
