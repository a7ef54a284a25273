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

TEST(SocialTexts, ResponseShapesGiveTheLines) {
    const struct {
        const char* name;
        const char* json;
        const char* instagram; // the totals after "Instagram impressions: " and "TikTok impressions: "
        const char* tiktok;
        const char* latest;
    } cases[] = {
        {"both totals; Instagram's post, with its time, before TikTok's",
         R"({"instagram":{"totalImpressions":1200,"latest":{"impressions":340,"timestamp":"2024-03-05T10:00:00Z"}},
             "tiktok":{"totalImpressions":560,"latest":{"impressions":99}}})",
         "1200", "560", "Latest post: 340 impressions at 2024-03-05T10:00:00Z"},
        {"Instagram's post without a time", R"({"instagram":{"latest":{"impressions":2}}})", "N/A", "N/A",
         "Latest post: 2 impressions at \u2013"},
        {"Instagram's latest is a string: TikTok's post, without its time",
         R"({"instagram":{"latest":"yesterday"},"tiktok":{"latest":{"impressions":77,"timestamp":"t"}}})",
         "N/A", "N/A", "Latest post: 77 impressions"},
        {"Instagram's latest without impressions: TikTok's post",
         R"({"instagram":{"latest":{"timestamp":"t"}},"tiktok":{"latest":{"impressions":5}}})", "N/A", "N/A",
         "Latest post: 5 impressions"},
        {"no usable latest post",
         R"({"instagram":{"latest":[1]},"tiktok":{"totalImpressions":2,"latest":{}}})", "N/A", "2",
         "Latest post: N/A"},
        {"TikTok absent; website views in the answer are not shown",
         R"({"instagram":{"totalImpressions":8},"website":{"views":1000},"webViews":12})", "8", "N/A",
         "Latest post: N/A"},
        {"totals given as strings are shown verbatim",
         R"({"instagram":{"totalImpressions":"1.2k"},"tiktok":{"totalImpressions":" <b>7</b> "}})", "1.2k",
         " <b>7</b> ", "Latest post: N/A"},
        {"placeholders inside values are not expanded",
         R"({"instagram":{"latest":{"impressions":"%2","timestamp":"%1"}}})", "N/A", "N/A",
         "Latest post: %2 impressions at %1"},
    };
    for (const auto& c : cases) {
        const SocialLines lines = linesFromResponse(parse(c.json));
        EXPECT_EQ(lines, (SocialLines{QStringLiteral("Instagram impressions: ") + c.instagram,
                                      QStringLiteral("TikTok impressions: ") + c.tiktok,
                                      "Website (from socials) views: N/A", c.latest}))
            << c.name;
    }
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
    sync.tokens[{"", "0"}] = "T";
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
    EXPECT_EQ(transport.requests()[0].headers.token, "T");
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
