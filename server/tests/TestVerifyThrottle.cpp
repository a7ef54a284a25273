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

const std::vector<Step> eightFailures(8, Step{'F'});
const std::vector<Step> fourPairs = {{'f', "e1@A"}, {'f', "e2@A"}, {'f', "e3@A"}, {'f', "e4@A"}};

const std::vector<Case> cases = {
    {"FirstTryIsFree", {}, "e1@A", 0},
    {"OneFailureWaitsASecond", {{'f'}}, "e1@A", 1},
    {"DelayDoubles", {{'F'}, {'F'}, {'F'}, {'F'}}, "e1@A", 8},
    {"DelayStopsAtAMinute", eightFailures, "e1@A", 60},
    {"RetryAfterCountsDown", {{'F'}, {'F'}, {'F'}, {'w', "", 3}}, "e1@A", 1},
    {"WaitedOutDelayLetsTheNextTry", {{'F'}, {'F'}, {'w', "", 2}}, "e1@A", 0},
    {"AnotherAddressIsNotHeldUp", eightFailures, "e1@B", 0},
    {"AnotherEmployeeIsNotHeldUp", eightFailures, "e2@A", 0},
    {"SuccessForgetsTheFailures", {{'F'}, {'F'}, {'F'}, {'w', "", 4}, {'s'}, {'f'}}, "e1@A", 1},
    {"UnjudgedChecksDoNotCount", {{'n'}, {'n'}}, "e1@A", 0},
    {"UnjudgedCheckKeepsEarlierFailures", {{'F'}, {'F'}, {'w', "", 2}, {'n'}, {'f'}}, "e1@A", 4},
    {"OneCheckAtATimePerPair", {{'b'}}, "e1@A", 1},
    {"FailuresForgottenAfterAQuarterHour", {{'F'}, {'F'}, {'F'}, {'w', "", 900}, {'f'}}, "e1@A", 1},
    {"FullTableForgetsTheOldestPair", fourPairs, "e1@A", 0},
    {"FullTableKeepsTheNewerPairs", fourPairs, "e2@A", 1},
    {"PairsBeingCheckedAreNotForgotten", {{'b', "e1@A"}, {'b', "e2@A"}, {'b', "e3@A"}}, "e4@A", 1}};

TEST(Throttle, DelaysGuessesPerEmployeeAndAddress) {
    const auto split = [](const std::string& pair) {
        const auto at = pair.find('@');
        return std::pair(pair.substr(0, at), pair.substr(at + 1));
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::FakeClock clock;
        const test::TestDatabase database;
        const auto storage = openStorage(database.name());
        const auto throttle = storage->verifyThrottle(clock, VerifyThrottle::Rule{1s, 60s, 15min, 3});
        for (const Step& step : c.steps) {
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
            EXPECT_EQ(wait, 0s) << step.what << ' ' << step.pair;
            if (step.what != 'b') {
                throttle->finish(employee, address,
                                 step.what == 's'   ? Attempt::Succeeded
                                 : step.what == 'n' ? Attempt::NotChecked
                                                    : Attempt::Failed);
            }
        }
        const auto [employee, address] = split(c.pair);
        EXPECT_EQ(throttle->begin(employee, address), std::chrono::seconds(c.wait));
    }
}

} // namespace
