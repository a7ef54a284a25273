#include "ManualJsonTransport.h"
#include "RecordingSocialView.h"
#include "SocialPanel.h"
#include "SyncState.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <memory>

namespace {

using SocialTexts::SocialLines;

JsonReply ok(const QJsonObject& body) {
    return {200, std::nullopt, body};
}

QJsonObject instagramTotal(int total) {
    return {{"instagram", QJsonObject{{"totalImpressions", total}}}};
}

QString instagramLine(int total) {
    return QStringLiteral("Instagram impressions: %1").arg(total);
}

class SocialPanelTest : public ::testing::Test {
protected:
    SocialPanelTest() { sync.jobId = "0"; }

    SyncState sync;
    ManualJsonTransport transport;
    RecordingSocialView view;
    SocialPanel panel{sync, transport, view};
};

TEST_F(SocialPanelTest, OnlyTheJobZeroSeesThePanelAndAsks) {
    const struct {
        const char* job;
        bool shown;
    } cases[] = {{"0", true}, {"00", false}, {"", false}, {" 0", false}, {"1", false}, {"O", false}};
    for (const auto& c : cases) {
        transport.requests.clear();
        view.visibility.clear();
        sync.jobId = QString::fromLatin1(c.job);
        panel.updateSocialVisibility();
        panel.refreshSocialMetricsFromAPI();
        EXPECT_EQ(view.visibility, std::vector<bool>{c.shown}) << '"' << c.job << '"';
        ASSERT_EQ(transport.requests.size(), c.shown ? 1u : 0u) << '"' << c.job << '"';
        if (c.shown) {
            EXPECT_EQ(transport.requests[0].method, "GET");
            EXPECT_EQ(transport.requests[0].path, "/api/analytics/impressions");
            EXPECT_FALSE(transport.requests[0].json.has_value());
            transport.answer(0, JsonReply{});
        }
    }
    EXPECT_EQ(transport.blockingCalls, 0);
}

TEST_F(SocialPanelTest, EachRefreshAsksOnceTheLastAnswerIsIn) {
    for (int i = 0; i < 3; ++i) {
        panel.refreshSocialMetricsFromAPI();
        ASSERT_EQ(transport.requests.size(), static_cast<std::size_t>(i + 1));
        transport.answer(i, ok(instagramTotal(i)));
    }
    ASSERT_EQ(view.written.size(), 3u);
    EXPECT_EQ(view.written.back().instagram, instagramLine(2));
}

TEST_F(SocialPanelTest, AHungServiceCostsOneRequestNotOnePerRefresh) {
    panel.refreshSocialMetricsFromAPI();
    for (int tick = 0; tick < 50; ++tick)
        panel.refreshSocialMetricsFromAPI();
    EXPECT_EQ(transport.requests.size(), 1u);
    EXPECT_TRUE(view.written.empty());

    // The transport gives up on it (no answer): the next refresh asks again.
    transport.answer(0, JsonReply{});
    EXPECT_TRUE(view.written.empty());
    panel.refreshSocialMetricsFromAPI();
    EXPECT_EQ(transport.requests.size(), 2u);
}

TEST_F(SocialPanelTest, FailedFetchesKeepTheLastLines) {
    panel.refreshSocialMetricsFromAPI();
    transport.answer(0, ok(instagramTotal(42)));
    ASSERT_EQ(view.written.size(), 1u);

    const struct {
        const char* name;
        JsonReply reply;
    } failures[] = {
        {"no answer", {0, std::nullopt, std::nullopt}},
        {"transport error", {0, QString("connection refused"), std::nullopt}},
        {"server error with an object", {500, std::nullopt, instagramTotal(1)}},
        {"not found with an object", {404, std::nullopt, instagramTotal(1)}},
        {"redirect status", {302, std::nullopt, instagramTotal(1)}},
        {"200 with an array or an empty body", {200, std::nullopt, std::nullopt}},
        {"200 whose body is not JSON", {200, QString("parse error"), std::nullopt}},
        {"negative status", {-1, std::nullopt, instagramTotal(1)}},
    };
    std::size_t index = 1;
    for (const auto& f : failures) {
        panel.refreshSocialMetricsFromAPI();
        transport.answer(index++, f.reply);
        EXPECT_EQ(view.written.size(), 1u) << f.name;
    }
    panel.refreshSocialMetricsFromAPI();
    transport.answer(index, {299, std::nullopt, QJsonObject{}});
    ASSERT_EQ(view.written.size(), 2u);
    EXPECT_EQ(view.written.back(), (SocialLines{"Instagram impressions: N/A", "TikTok impressions: N/A",
                                                "Website (from socials) views: N/A", "Latest post: N/A"}));
}

TEST(SocialPanel, AnAnswerAfterThePanelIsGoneIsDropped) {
    SyncState sync;
    sync.jobId = "0";
    ManualJsonTransport transport;
    RecordingSocialView view;
    auto panel = std::make_unique<SocialPanel>(sync, transport, view);
    panel->refreshSocialMetricsFromAPI();
    panel.reset();
    transport.answer(0, ok(instagramTotal(1)));
    EXPECT_TRUE(view.written.empty());
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
