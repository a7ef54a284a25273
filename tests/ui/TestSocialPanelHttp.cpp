// The social panel through the real transport and a real HTTP server on loopback.
#include "HttpTransport.h"
#include "LocalHttpServer.h"
#include "RecordingSocialView.h"
#include "SocialPanel.h"
#include "SyncState.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

using namespace std::chrono_literals;

namespace {

using SocialTexts::SocialLines;

// The real transport, counting the asynchronous requests and the answers handed back for them.
class CountingTransport final : public JsonTransport {
public:
    explicit CountingTransport(const QString& baseUrl)
        : real(baseUrl) {}
    JsonReply sendJSONRequestMethod(const QString& method, const QString& path,
                                    const std::optional<QJsonValue>& json, const QByteArray& key) override {
        return real.sendJSONRequestMethod(method, path, json, key);
    }
    void sendAsync(const QString& method, const QString& path, const std::optional<QJsonValue>& json,
                   QObject* context, std::function<void(const JsonReply&)> done) override {
        ++sent;
        real.sendAsync(method, path, json, context, [this, done = std::move(done)](const JsonReply& reply) {
            done(reply);
            ++answered;
        });
    }

    HttpTransport real;
    int sent = 0;
    int answered = 0;
};

const QString website = "Website (from socials) views: N/A";

class SocialPanelHttpTest : public ::testing::Test {
protected:
    SocialPanelHttpTest() { sync.jobId = "0"; }

    void respondWith(int status, std::string body) {
        server.setResponder([=](const LocalHttpServer::Received&, httplib::Response& response) {
            response.status = status;
            if (!body.empty())
                response.set_content(body, "application/json");
        });
    }

    // One display refresh, waited for until its answer has been handled.
    bool refreshAndWait() {
        const int before = transport.answered;
        panel.refreshSocialMetricsFromAPI();
        return QTest::qWaitFor([&] { return transport.answered > before; }, 10'000);
    }

    LocalHttpServer server;
    CountingTransport transport{server.baseUrl()};
    SyncState sync;
    RecordingSocialView view;
    SocialPanel panel{sync, transport, view};
};

TEST_F(SocialPanelHttpTest, SendsOneBodilessGetPerRefresh) {
    ASSERT_TRUE(refreshAndWait());
    ASSERT_TRUE(refreshAndWait());
    const auto received = server.received();
    ASSERT_EQ(received.size(), 2u);
    for (const auto& r : received) {
        EXPECT_EQ(r.method, "GET");
        EXPECT_EQ(r.target, "/api/analytics/impressions");
        EXPECT_EQ(r.body, "");
        EXPECT_EQ(r.contentType, "application/json");
    }
}

TEST_F(SocialPanelHttpTest, AnswersFillOrKeepTheLines) {
    const SocialLines full{"Instagram impressions: 1200", "TikTok impressions: 560", website,
                           "Latest post: 340 impressions at 2024-03-05T10:00:00Z"};
    const SocialLines empty{"Instagram impressions: N/A", "TikTok impressions: N/A", website,
                            "Latest post: N/A"};
    const struct {
        const char* name;
        int status;
        std::string body;
        std::optional<SocialLines> lines; // absent: the lines keep their texts
    } cases[] = {
        {"full answer", 200,
         R"({"instagram":{"totalImpressions":1200,"latest":{"impressions":340,"timestamp":"2024-03-05T10:00:00Z"}},)"
         R"("tiktok":{"totalImpressions":560,"latest":{"impressions":12}}})",
         full},
        {"server error", 500, R"({"instagram":{"totalImpressions":1}})", std::nullopt},
        {"not JSON", 200, "<html>busy</html>", std::nullopt},
        {"an array", 200, "[1,2]", std::nullopt},
        {"no body", 204, "", std::nullopt},
        {"TikTok's post, a string total", 200,
         R"({"instagram":{"totalImpressions":"9k","latest":"none"},"tiktok":{"latest":{"impressions":7}}})",
         SocialLines{"Instagram impressions: 9k", "TikTok impressions: N/A", website,
                     "Latest post: 7 impressions"}},
        {"forbidden", 403, "{}", std::nullopt},
        {"empty object", 200, "{}", empty},
    };
    std::optional<SocialLines> shown;
    for (const auto& c : cases) {
        respondWith(c.status, c.body);
        ASSERT_TRUE(refreshAndWait()) << c.name;
        if (c.lines)
            shown = c.lines;
        ASSERT_FALSE(view.written.empty()) << c.name;
        EXPECT_EQ(view.written.back(), *shown) << c.name;
    }
    EXPECT_EQ(view.written.size(), 3u);
}

TEST_F(SocialPanelHttpTest, AHungServiceDoesNotStopTheTicks) {
    std::mutex mutex;
    std::condition_variable released;
    bool release = false;
    server.setResponder([&](const LocalHttpServer::Received&, httplib::Response& response) {
        std::unique_lock lock(mutex);
        // Bounded, so a failing test cannot hang the server thread for good.
        released.wait_for(lock, 20s, [&] { return release; });
        response.set_content(R"({"instagram":{"totalImpressions":5}})", "application/json");
    });
    const auto releaseService = [&] {
        {
            const std::lock_guard lock(mutex);
            release = true;
        }
        released.notify_all();
    };

    // The display refresh at the tick rate, as the session does it.
    int ticks = 0;
    qint64 longestTickMs = 0;
    QTimer tick;
    tick.setInterval(20);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        QElapsedTimer clock;
        clock.start();
        panel.refreshSocialMetricsFromAPI();
        longestTickMs = std::max(longestTickMs, clock.elapsed());
        ++ticks;
    });
    tick.start();

    const bool ticked = QTest::qWaitFor([&] { return ticks >= 25; }, 10'000);
    const std::size_t whileHung = server.received().size();
    const bool stillWaiting = transport.answered == 0;
    releaseService();
    EXPECT_TRUE(ticked) << "the GUI thread stopped ticking";
    EXPECT_EQ(whileHung, 1u);
    EXPECT_TRUE(stillWaiting);
    EXPECT_LT(longestTickMs, 1000);

    // Once the service answers, its figures are shown and the next refresh asks again.
    EXPECT_TRUE(QTest::qWaitFor([&] { return !view.written.empty(); }, 10'000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return server.received().size() >= 2; }, 10'000));
    tick.stop();
    // The responder uses this test's locals: let the last exchange end before they go.
    EXPECT_TRUE(QTest::qWaitFor([&] { return transport.answered == transport.sent; }, 10'000));
    respondWith(200, "{}");
    ASSERT_FALSE(view.written.empty());
    EXPECT_EQ(view.written.front().instagram, "Instagram impressions: 5");
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
