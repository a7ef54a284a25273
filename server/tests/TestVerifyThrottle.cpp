#include "FakeClock.h"
#include "Storage.h"
#include "TestDatabase.h"

#include <gtest/gtest.h>

using namespace corlune::server;
using namespace std::chrono_literals;
using Attempt = VerifyThrottle::Attempt;

namespace {

/// One step: 'f' a failed check, 'F' the same after waiting out the pair's delay, 's' a success,
/// 'n' a check that could not be judged, 'b' a check begun and not finished, 'w' a wait of
/// `seconds`. Pairs are "employee@address".
struct Step {
    char what;
    const char* pair = "e1@A";
    int seconds = 0;
};

struct Case {
    const char* name;
    std::vector<Step> steps;
    const char* pair; ///< then asked to begin
    int wait;         ///< the answer, in seconds
};

class Throttle : public testing::TestWithParam<Case> {};

TEST_P(Throttle, DelaysGuessesPerEmployeeAndAddress) {
    test::FakeClock clock;
    const test::TestDatabase database;
    const auto storage = openStorage(database.name());
    const auto throttle = storage->verifyThrottle(clock, VerifyThrottle::Rule{1s, 60s, 15min, 3});
    const auto split = [](const std::string& pair) {
        const auto at = pair.find('@');
        return std::pair(pair.substr(0, at), pair.substr(at + 1));
    };
    for (const Step& step : GetParam().steps) {
        const auto [employee, address] = split(step.pair);
        if (step.what == 'w') {
            clock.advance(std::chrono::seconds(step.seconds));
            continue;
        }
        auto wait = throttle->begin(employee, address).value_or(-1s);
        if (step.what == 'F' && wait > 0s) {
            clock.advance(wait);
            wait = throttle->begin(employee, address).value_or(-1s);
        }
        ASSERT_EQ(wait, 0s) << step.what << ' ' << step.pair;
        if (step.what != 'b') {
            throttle->finish(employee, address,
                             step.what == 's'   ? Attempt::Succeeded
                             : step.what == 'n' ? Attempt::NotChecked
                                                : Attempt::Failed);
        }
    }
    const auto [employee, address] = split(GetParam().pair);
    EXPECT_EQ(throttle->begin(employee, address), std::chrono::seconds(GetParam().wait));
}

const std::vector<Step> eightFailures(8, Step{'F'});

INSTANTIATE_TEST_SUITE_P(
    Sequences, Throttle,
    testing::Values(
        Case{"FirstTryIsFree", {}, "e1@A", 0}, Case{"OneFailureWaitsASecond", {{'f'}}, "e1@A", 1},
        Case{"DelayDoubles", {{'F'}, {'F'}, {'F'}, {'F'}}, "e1@A", 8},
        Case{"DelayStopsAtAMinute", eightFailures, "e1@A", 60},
        Case{"RetryAfterCountsDown", {{'F'}, {'F'}, {'F'}, {'w', "", 3}}, "e1@A", 1},
        Case{"WaitedOutDelayLetsTheNextTry", {{'F'}, {'F'}, {'w', "", 2}}, "e1@A", 0},
        Case{"AnotherAddressIsNotHeldUp", eightFailures, "e1@B", 0},
        Case{"AnotherEmployeeIsNotHeldUp", eightFailures, "e2@A", 0},
        Case{"SuccessForgetsTheFailures", {{'F'}, {'F'}, {'F'}, {'w', "", 4}, {'s'}, {'f'}}, "e1@A", 1},
        Case{"UnjudgedChecksDoNotCount", {{'n'}, {'n'}}, "e1@A", 0},
        Case{"UnjudgedCheckKeepsEarlierFailures", {{'F'}, {'F'}, {'w', "", 2}, {'n'}, {'f'}}, "e1@A", 4},
        Case{"OneCheckAtATimePerPair", {{'b'}}, "e1@A", 1},
        Case{"FailuresForgottenAfterAQuarterHour", {{'F'}, {'F'}, {'F'}, {'w', "", 900}, {'f'}}, "e1@A", 1},
        Case{"FullTableForgetsTheOldestPair",
             {{'f', "e1@A"}, {'f', "e2@A"}, {'f', "e3@A"}, {'f', "e4@A"}},
             "e1@A",
             0},
        Case{"FullTableKeepsTheNewerPairs",
             {{'f', "e1@A"}, {'f', "e2@A"}, {'f', "e3@A"}, {'f', "e4@A"}},
             "e2@A",
             1},
        Case{"PairsBeingCheckedAreNotForgotten", {{'b', "e1@A"}, {'b', "e2@A"}, {'b', "e3@A"}}, "e4@A", 1}),
    [](const testing::TestParamInfo<Case>& row) { return std::string(row.param.name); });

} // namespace
