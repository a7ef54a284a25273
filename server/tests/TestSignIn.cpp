#include "ServiceCore.h"

#include <gtest/gtest.h>

using namespace corlune::server;
using namespace corlune::server::test;

namespace {

struct Case {
    const char* name;
    std::string employee;
    const char* job;
    const char* password;
    bool ok;
};

class SignIn : public testing::TestWithParam<Case> {};

TEST_P(SignIn, NeedsTheWholeTriple) {
    ServiceCore service;
    const ApiResponse answer = service.verify(GetParam().employee, GetParam().job, GetParam().password);
    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(answer.body["ok"], GetParam().ok);
    EXPECT_EQ(answer.body.contains("token"), GetParam().ok);
}

INSTANTIATE_TEST_SUITE_P(Credentials, SignIn,
                         testing::Values(Case{"Right", "e1", "j1", "secret", true},
                                         Case{"AnotherOfTheJobs", "e1", "0", "secret", true},
                                         Case{"WrongPassword", "e1", "j1", "Secret", false},
                                         Case{"JobNotAllowed", "e1", "j2", "secret", false},
                                         Case{"UnknownEmployee", "e3", "j1", "secret", false},
                                         Case{"IdTooLongToExist", std::string(200, 'e'), "j1", "secret",
                                              false}),
                         [](const testing::TestParamInfo<Case>& row) { return std::string(row.param.name); });

// The delays themselves are VerifyThrottle's; here, how a pair that must wait is answered, the
// same for an employee that exists and one that does not.
TEST(SignInSlowDown, AnswersAWaitingPair429WithRetryAfter) {
    ServiceCore service;
    for (const char* employee : {"e1", "nobody"}) {
        ASSERT_EQ(service.verify(employee, "j1", "guess").body["ok"], false);
        const ApiResponse answer = service.verify(employee, "j1", "secret");
        EXPECT_EQ(answer.status, 429) << employee;
        EXPECT_EQ(answer.body["ok"], false);
        EXPECT_EQ(answer.headers, (decltype(answer.headers){{"Retry-After", "1"}}));
    }
    service.clock.advance(std::chrono::seconds(1));
    EXPECT_EQ(service.verify("e1", "j1", "secret").body["ok"], true);
}

} // namespace
