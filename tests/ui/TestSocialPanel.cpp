#include "FakeJsonTransport.h"
#include "QtPrinters.h"
#include "SocialPanel.h"
#include "SocialTexts.h"
#include "SocialView.h"
#include "SyncState.h"

#include <QCoreApplication>
#include <QJsonDocument>

#include <gtest/gtest.h>

using namespace SocialTexts;

namespace SocialTexts {
void PrintTo(const SocialLines& lines, std::ostream* os) {
    *os << QStringList{lines.instagram, lines.tiktok, lines.website, lines.latest}.join(" | ").toStdString();
}
} // namespace SocialTexts

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

struct RecordingSocialView final : SocialView {
    void setSocialPanelVisible(bool shown) override { visible = shown; }
    void setSocialLines(const SocialLines& written) override { lines = written; }
    bool visible = false;
    SocialLines lines;
};

TEST(SocialPanel, OnlyTheJobZeroAsksOneFetchAtATimeAndFailuresKeepTheLines) {
    SyncState sync;
    FakeJsonTransport transport;
    RecordingSocialView view;
    SocialPanel panel(sync, transport, view);
    for (const char* job : {"00", "", " 0"}) {
        sync.jobId = job;
        view.visible = true;
        panel.updateSocialVisibility();
        panel.refreshSocialMetricsFromAPI();
        EXPECT_FALSE(view.visible) << job;
    }
    EXPECT_TRUE(transport.requests().empty());

    sync.jobId = "0";
    panel.updateSocialVisibility();
    EXPECT_TRUE(view.visible);
    transport.answer = [](const FakeJsonTransport::Request&) {
        return JsonReply{200, std::nullopt, parse(R"({"instagram":{"totalImpressions":42}})")};
    };
    panel.refreshSocialMetricsFromAPI();
    panel.refreshSocialMetricsFromAPI(); // while the first is in flight
    QCoreApplication::processEvents();
    ASSERT_EQ(transport.requests().size(), 1u);
    EXPECT_EQ(transport.requests()[0].method, "GET");
    EXPECT_EQ(transport.requests()[0].path, "/api/analytics/impressions");
    EXPECT_FALSE(transport.requests()[0].json);
    EXPECT_EQ(view.lines.instagram, "Instagram impressions: 42");

    const JsonReply failures[] = {{0, QString("refused"), std::nullopt},
                                  {500, std::nullopt, parse(R"({"instagram":{"totalImpressions":1}})")},
                                  {200, QString("not JSON"), std::nullopt}};
    for (const JsonReply& failure : failures) {
        transport.answer = [failure](const FakeJsonTransport::Request&) { return failure; };
        panel.refreshSocialMetricsFromAPI();
        QCoreApplication::processEvents();
        EXPECT_EQ(view.lines.instagram, "Instagram impressions: 42") << failure.status;
    }
    EXPECT_EQ(transport.requests().size(), 4u);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
