// The one honest wait of the suite: a service that answers after 20 s.
#include "HttpTransport.h"
#include "LocalHttpServer.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

using namespace std::chrono_literals;

namespace {

TEST(HttpTransportLateAnswer, TheCallerGivesUpAfter15SecondsAndTheTransferGoesOn) {
    std::mutex mutex;
    std::condition_variable changed;
    bool stopping = false;
    bool answered = false;
    LocalHttpServer server;
    server.setResponder([&](const LocalHttpServer::Received& r, httplib::Response& response) {
        if (r.path == "/slow") {
            std::unique_lock lock(mutex);
            changed.wait_for(lock, 20s, [&] { return stopping; });
            answered = true;
            changed.notify_all();
        }
        response.set_content(R"({"late":true})", "application/json");
    });
    HttpTransport transport(server.baseUrl());

    const auto start = std::chrono::steady_clock::now();
    const JsonReply reply =
        transport.sendJSONRequestMethod("POST", "/slow", QJsonValue(QJsonObject{{"n", 1}}));
    const auto waited = std::chrono::steady_clock::now() - start;

    EXPECT_EQ(reply.status, 0);
    EXPECT_FALSE(reply.error);
    EXPECT_FALSE(reply.result);
    EXPECT_GE(waited, 15s);
    EXPECT_LT(waited, 17s);
    ASSERT_EQ(server.received().size(), 1u);
    EXPECT_EQ(server.received()[0].body, R"({"n":1})");

    // The late answer lands in the abandoned state; the next call still gets its own answer.
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, 10s, [&] { return answered; }));
    }
    const JsonReply next = transport.sendJSONRequestMethod("GET", "/fast", std::nullopt);
    EXPECT_EQ(next.status, 200);
    EXPECT_EQ(next.result, (QJsonObject{{"late", true}}));
    {
        const std::lock_guard lock(mutex);
        stopping = true;
    }
    changed.notify_all();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
