#include "VerifyThrottle.h"
#include "FakeClock.h"

#include <gtest/gtest.h>

using namespace corlune::server;
using namespace std::chrono_literals;
using Attempt = VerifyThrottle::Attempt;

namespace {

class VerifyThrottleTest : public testing::Test {
protected:
    void fail(const std::string& id, int times) {
        for (int i = 0; i < times; ++i) {
            ASSERT_TRUE(throttle.begin(id)) << "attempt " << i;
            throttle.finish(id, Attempt::Failed);
        }
    }

    test::FakeClock clock;
    VerifyThrottle throttle{clock};
};

TEST_F(VerifyThrottleTest, FourFailuresLeaveTheDoorOpen) {
    fail("e1", 4);
    EXPECT_TRUE(throttle.begin("e1"));
}

TEST_F(VerifyThrottleTest, FiveFailuresWithinAMinuteLockForThirtySeconds) {
    fail("e1", 5);
    EXPECT_FALSE(throttle.begin("e1"));
    clock.advance(29s);
    EXPECT_FALSE(throttle.begin("e1"));
    clock.advance(1s);
    EXPECT_TRUE(throttle.begin("e1"));
}

TEST_F(VerifyThrottleTest, AttemptsDuringTheLockDoNotExtendIt) {
    fail("e1", 5);
    for (int i = 0; i < 10; ++i) {
        clock.advance(2s);
        EXPECT_FALSE(throttle.begin("e1"));
    }
    clock.advance(10s);
    EXPECT_TRUE(throttle.begin("e1"));
}

TEST_F(VerifyThrottleTest, AfterTheLockTheCountStartsAfresh) {
    fail("e1", 5);
    clock.advance(30s);
    fail("e1", 4);
    EXPECT_TRUE(throttle.begin("e1"));
}

TEST_F(VerifyThrottleTest, FailuresOlderThanAMinuteAreForgotten) {
    fail("e1", 4);
    clock.advance(60s);
    fail("e1", 4);
    EXPECT_TRUE(throttle.begin("e1"));
}

TEST_F(VerifyThrottleTest, FailuresSpreadOverLessThanAMinuteLock) {
    fail("e1", 1);
    for (int i = 0; i < 4; ++i) {
        clock.advance(14s);
        fail("e1", 1);
    }
    EXPECT_FALSE(throttle.begin("e1"));
}

TEST_F(VerifyThrottleTest, ASuccessClearsTheFailures) {
    fail("e1", 4);
    ASSERT_TRUE(throttle.begin("e1"));
    throttle.finish("e1", Attempt::Succeeded);
    fail("e1", 4);
    EXPECT_TRUE(throttle.begin("e1"));
}

TEST_F(VerifyThrottleTest, AnAttemptNotCheckedCountsForNothing) {
    fail("e1", 4);
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(throttle.begin("e1"));
        throttle.finish("e1", Attempt::NotChecked);
    }
    EXPECT_TRUE(throttle.begin("e1"));
}

TEST_F(VerifyThrottleTest, EmployeesAreCountedApart) {
    fail("e1", 5);
    EXPECT_FALSE(throttle.begin("e1"));
    EXPECT_TRUE(throttle.begin("e2"));
}

TEST_F(VerifyThrottleTest, AttemptsInFlightCountAgainstTheLimit) {
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(throttle.begin("e1"));
    }
    EXPECT_FALSE(throttle.begin("e1"));
    throttle.finish("e1", Attempt::Succeeded);
    EXPECT_TRUE(throttle.begin("e1"));
}

TEST(VerifyThrottleTable, AFullTableLetsNewIdsThroughUntracked) {
    test::FakeClock clock;
    VerifyThrottle throttle(clock, VerifyThrottle::Rule{5, 60s, 30s, 2});
    for (const char* id : {"a", "b"}) {
        ASSERT_TRUE(throttle.begin(id));
        throttle.finish(id, Attempt::Failed);
    }
    for (int i = 0; i < 10; ++i) {
        ASSERT_TRUE(throttle.begin("c"));
        throttle.finish("c", Attempt::Failed);
    }
    clock.advance(60s); // the old failures expire and make room
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(throttle.begin("c"));
        throttle.finish("c", Attempt::Failed);
    }
    EXPECT_FALSE(throttle.begin("c"));
}

} // namespace
