#include "ServiceCore.h"

#include <gtest/gtest.h>

#include <regex>

using namespace corlune::server;
using namespace corlune::server::test;
using namespace std::chrono_literals;

namespace {

/// What happens between signing in as e1 on j1 and the request.
enum class Then { Nothing, SignInAgain, Restart, RemoveEmployee, LifetimeAlmostOver, LifetimeOver };
enum class Ask { ClockIn, Summary, Impressions };

struct Case {
    const char* name;
    Then then;
    std::string authorization; ///< TOKEN stands for the token of the sign-in
    const char* employee;
    const char* job;
    int status;
    Ask ask = Ask::ClockIn;
    bool anonymousAllowed = false;
};

class Tokens : public testing::TestWithParam<Case> {};

TEST_P(Tokens, DecideWhoMayReportAndRead) {
    const Case& c = GetParam();
    ServiceCore service(TokenRule{std::chrono::days(30), c.anonymousAllowed});
    const std::string token = service.signIn();
    ASSERT_EQ(token.size(), 43u);
    ASSERT_EQ(token.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_"),
              std::string::npos);
    switch (c.then) {
    case Then::SignInAgain:
        ASSERT_NE(service.signIn(), token);
        break;
    case Then::Restart:
        service.restart();
        break;
    case Then::RemoveEmployee:
        ASSERT_EQ(service.storage->removeEmployee("e1"), RemoveOutcome::Removed);
        ASSERT_EQ(service.storage->addEmployee("e1", "hash", {"j1"}), AddOutcome::Added);
        break;
    case Then::LifetimeAlmostOver:
        service.clock.advance(30 * 24h - 1s);
        break;
    case Then::LifetimeOver:
        service.clock.advance(30 * 24h);
        break;
    case Then::Nothing:
        break;
    }
    const ApiRequest request{eventBody(EventKind::ClockIn, c.employee, c.job, "2024-03-05T09:00:00Z").dump(),
                             "application/json",
                             {},
                             parseQuery(std::string("employeeId=") + c.employee + "&jobId=" + c.job +
                                        "&from=2024-03-05T00:00:00Z&to=2024-03-05T10:00:00Z"),
                             std::regex_replace(c.authorization, std::regex("TOKEN"), token),
                             "127.0.0.1"};
    const ApiResponse answer = c.ask == Ask::ClockIn   ? service.handlers->report(EventKind::ClockIn, request)
                               : c.ask == Ask::Summary ? service.handlers->summary(request)
                                                       : service.handlers->impressions(request);
    EXPECT_EQ(answer.status, c.status) << answer.body;
    const auto challenge = std::find_if(answer.headers.begin(), answer.headers.end(), [](const auto& header) {
        return header.first == "WWW-Authenticate";
    });
    EXPECT_EQ(challenge != answer.headers.end() && challenge->second.starts_with("Bearer"), c.status == 401);
    if (c.status == 403) {
        // Whether the employee exists or not, the refusal reads the same.
        EXPECT_EQ(answer.body, nlohmann::json({{"error", "not allowed for this employee and job"}}));
    }
}

const std::string unknown = "Bearer " + std::string(43, 'A');

INSTANTIATE_TEST_SUITE_P(
    Rules, Tokens,
    testing::Values(
        Case{"OwnTokenReports", Then::Nothing, "Bearer TOKEN", "e1", "j1", 201},
        Case{"SchemeInAnyCase", Then::Nothing, "bearer  TOKEN", "e1", "j1", 201},
        Case{"NoToken", Then::Nothing, "", "e1", "j1", 401},
        Case{"OtherScheme", Then::Nothing, "Basic ZTE6c2VjcmV0", "e1", "j1", 401},
        Case{"MalformedToken", Then::Nothing, "Bearer TOKEN x", "e1", "j1", 401},
        Case{"UnknownToken", Then::Nothing, unknown, "e1", "j1", 401},
        Case{"AnotherJobOfTheSameEmployee", Then::Nothing, "Bearer TOKEN", "e1", "0", 403},
        Case{"AnotherEmployee", Then::Nothing, "Bearer TOKEN", "e2", "j2", 403},
        Case{"AnEmployeeThatDoesNotExist", Then::Nothing, "Bearer TOKEN", "x", "j1", 403},
        Case{"OlderTokenStaysValid", Then::SignInAgain, "Bearer TOKEN", "e1", "j1", 201},
        Case{"TokenOutlivesARestart", Then::Restart, "Bearer TOKEN", "e1", "j1", 201},
        Case{"RemovingTheEmployeeRevokes", Then::RemoveEmployee, "Bearer TOKEN", "e1", "j1", 401},
        Case{"ValidUpToItsLastSecond", Then::LifetimeAlmostOver, "Bearer TOKEN", "e1", "j1", 201},
        Case{"ExpiredAfterItsLifetime", Then::LifetimeOver, "Bearer TOKEN", "e1", "j1", 401},
        Case{"SummaryOfItsOwner", Then::Nothing, "Bearer TOKEN", "e1", "j1", 200, Ask::Summary},
        Case{"SummaryWithoutToken", Then::Nothing, "", "e1", "j1", 401, Ask::Summary},
        Case{"SummaryOfAnotherEmployee", Then::Nothing, "Bearer TOKEN", "e2", "j2", 403, Ask::Summary},
        Case{"ImpressionsWithToken", Then::Nothing, "Bearer TOKEN", "e1", "j1", 404, Ask::Impressions},
        Case{"ImpressionsWithoutToken", Then::Nothing, "", "e1", "j1", 401, Ask::Impressions},
        Case{"AnonymousReportsForAnyone", Then::Nothing, "", "e2", "j2", 201, Ask::ClockIn, true},
        Case{"AnonymousReportsUnderAnotherScheme", Then::Nothing, "Basic ZTE6c2VjcmV0", "e1", "j1", 201,
             Ask::ClockIn, true},
        Case{"AnonymousNobodyIsForbidden", Then::Nothing, "", "x", "j1", 403, Ask::ClockIn, true},
        Case{"AnonymousTokenStillChecked", Then::Nothing, unknown, "e1", "j1", 401, Ask::ClockIn, true},
        Case{"AnonymousTokenStillBinds", Then::Nothing, "Bearer TOKEN", "e2", "j2", 403, Ask::ClockIn, true}),
    [](const testing::TestParamInfo<Case>& row) { return std::string(row.param.name); });

TEST(TokenStore, KeepsDigestsOfTheNewestTokensOfAnEmployee) {
    ServiceCore service;
    const std::string oldest = service.signIn();
    service.clock.advance(1s);
    const std::string kept = service.signIn();
    const UnixSeconds later = service.clock.unixNow() + 1;
    for (int i = 1; i < maxTokensPerEmployee; ++i) {
        ASSERT_TRUE(
            service.storage->addToken("filler-" + std::to_string(i), {"e1", "j1"}, later, later + 60));
    }
    EXPECT_EQ(service.report(EventKind::ClockIn, "e1", "j1", "2024-03-05T09:00:00Z", oldest).status, 401);
    EXPECT_EQ(service.report(EventKind::ClockIn, "e1", "j1", "2024-03-05T09:00:00Z", kept).status, 201);
    EXPECT_EQ(service.database.number("SELECT count(*) FROM tokens WHERE digest = '" + kept + "'"), 0);
}

} // namespace
