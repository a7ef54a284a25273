#include "ServiceCore.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>

using namespace corlune::server;
using namespace corlune::server::test;

namespace {

const TokenRule anonymous{.allowAnonymous = true};

std::int64_t storedEvents(const ServiceCore& service) {
    return service.database.number("SELECT count(*) FROM events");
}

TEST(Idempotency, ARepeatIsAnsweredLikeTheFirstAndStoresNothing) {
    ServiceCore service(anonymous);
    const ApiResponse first =
        service.report(EventKind::ClockIn, "e1", "j1", "2024-03-05T09:00:00Z", {}, "k1");
    ASSERT_EQ(first.status, 201);
    ASSERT_EQ(service.report(EventKind::InputTrack, "e1", "j1", "2024-03-05T10:00:00Z", {}, "k2").status,
              201);
    const ApiResponse again =
        service.report(EventKind::ClockIn, "e1", "j1", "2024-03-05T09:00:00Z", {}, "k1");
    EXPECT_EQ(again.status, 201);
    EXPECT_EQ(again.body, first.body);
    EXPECT_EQ(again.headers, (decltype(again.headers){{"Idempotent-Replayed", "true"}}));
    EXPECT_EQ(service.report(EventKind::ClockIn, "e1", "j1", "2024-03-05T11:00:00Z", {}, "k1").status, 422);
    EXPECT_EQ(service.report(EventKind::ClockIn, "e1", "0", "2024-03-05T09:00:00Z", {}, "k1").status, 422);
    service.restart();
    EXPECT_EQ(service.report(EventKind::ClockIn, "e1", "j1", "2024-03-05T09:00:00Z", {}, "k1").body,
              first.body);
    EXPECT_EQ(service.report(EventKind::InputTrack, "e1", "j1", "2024-03-05T10:00:00Z", {}, "k2").status, 201)
        << "every member of an input report is stored as sent";
    EXPECT_EQ(service.report(EventKind::ClockIn, "e1", "j1", "2024-03-05T11:00:00Z", {}, "k3").status, 201);
    EXPECT_EQ(storedEvents(service), 3);
}

TEST(Idempotency, ConcurrentRepeatsAreStoredOnce) {
    ServiceCore service(anonymous);
    constexpr int threads = 8;
    constexpr int keys = 100;
    std::mutex mutex;
    std::set<std::int64_t> ids;
    {
        std::vector<std::jthread> senders;
        for (int t = 0; t < threads; ++t) {
            senders.emplace_back([&] {
                for (int k = 0; k < keys; ++k) {
                    // Every thread sends every key: one is stored, seven are repeats.
                    const auto answer = service.report(EventKind::BreakStart, "e1", "j1",
                                                       "2024-03-05T09:00:00Z", {}, "k" + std::to_string(k));
                    const std::lock_guard lock(mutex);
                    EXPECT_EQ(answer.status, 201);
                    ids.insert(answer.body.value("eventId", std::int64_t{0}));
                }
            });
        }
    }
    EXPECT_EQ(ids.size(), static_cast<std::size_t>(keys));
    EXPECT_EQ(storedEvents(service), keys);
}

} // namespace
