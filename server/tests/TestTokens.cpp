#include "ServiceCore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

using namespace corlune::server;
using namespace corlune::server::test;
using namespace std::chrono_literals;

namespace {

// Each from an address of its own, so the slow-down of one failure holds up no other row.
TEST(SignIn, NeedsTheWholeTripleAndAnswersAWaitingPair429) {
    ServiceCore service;
    int address = 0;
    for (const auto& [employee, job, password, ok] :
         std::vector<std::tuple<std::string, const char*, const char*, bool>>{
             {"e1", "j1", "secret", true},
             {"e1", "0", "secret", true},
             {"e1", "j1", "Secret", false},
             {"e1", "j2", "secret", false},
             {"e3", "j1", "secret", false},
             {std::string(200, 'e'), "j1", "secret", false}}) {
        const ApiResponse answer =
            service.verify(employee, job, password, "10.0.0." + std::to_string(++address));
        EXPECT_EQ(std::tuple(answer.status, answer.body["ok"], answer.body.contains("token")),
                  std::tuple(200, ok, ok))
            << employee << ' ' << job;
    }
    // The delays themselves are VerifyThrottle's; here, how a pair that must wait is answered,
    // the same for an employee that exists and one that does not.
    for (const char* employee : {"e1", "nobody"}) {
        ASSERT_EQ(service.verify(employee, "j1", "guess").body["ok"], false);
        const ApiResponse answer = service.verify(employee, "j1", "secret");
        EXPECT_EQ(std::tuple(answer.status, answer.body["ok"], answer.headers),
                  std::tuple(429, false, decltype(answer.headers){{"Retry-After", "1"}}))
            << employee;
    }
    service.clock.advance(1s);
    EXPECT_EQ(service.verify("e1", "j1", "secret").body["ok"], true);
}

/// What happens between signing in as e1 on j1 and the request.
enum class Then { Nothing, SignInAgain, RemoveEmployee, LifetimeAlmostOver, LifetimeOver };
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

const std::string unknown = "Bearer " + std::string(43, 'A');

const std::vector<Case> cases = {
    {"OwnTokenReports", Then::Nothing, "Bearer TOKEN", "e1", "j1", 201},
    {"SchemeInAnyCase", Then::Nothing, "bearer  TOKEN", "e1", "j1", 201},
    {"NoToken", Then::Nothing, "", "e1", "j1", 401},
    {"OtherScheme", Then::Nothing, "Basic ZTE6c2VjcmV0", "e1", "j1", 401},
    {"MalformedToken", Then::Nothing, "Bearer TOKEN x", "e1", "j1", 401},
    {"UnknownToken", Then::Nothing, unknown, "e1", "j1", 401},
    {"AnotherJobOfTheSameEmployee", Then::Nothing, "Bearer TOKEN", "e1", "0", 403},
    {"AnotherEmployee", Then::Nothing, "Bearer TOKEN", "e2", "j2", 403},
    {"AnEmployeeThatDoesNotExist", Then::Nothing, "Bearer TOKEN", "x", "j1", 403},
    {"OlderTokenStaysValid", Then::SignInAgain, "Bearer TOKEN", "e1", "j1", 201},
    {"RemovingTheEmployeeRevokes", Then::RemoveEmployee, "Bearer TOKEN", "e1", "j1", 401},
    {"ValidUpToItsLastSecond", Then::LifetimeAlmostOver, "Bearer TOKEN", "e1", "j1", 201},
    {"ExpiredAfterItsLifetime", Then::LifetimeOver, "Bearer TOKEN", "e1", "j1", 401},
    {"SummaryOfItsOwner", Then::Nothing, "Bearer TOKEN", "e1", "j1", 200, Ask::Summary},
    {"SummaryWithoutToken", Then::Nothing, "", "e1", "j1", 401, Ask::Summary},
    {"SummaryOfAnotherEmployee", Then::Nothing, "Bearer TOKEN", "e2", "j2", 403, Ask::Summary},
    {"ImpressionsWithToken", Then::Nothing, "Bearer TOKEN", "e1", "j1", 404, Ask::Impressions},
    {"ImpressionsWithoutToken", Then::Nothing, "", "e1", "j1", 401, Ask::Impressions},
    {"AnonymousReportsForAnyone", Then::Nothing, "", "e2", "j2", 201, Ask::ClockIn, true},
    {"AnonymousReportsUnderAnotherScheme", Then::Nothing, "Basic ZTE6c2VjcmV0", "e1", "j1", 201, Ask::ClockIn,
     true},
    {"AnonymousNobodyIsForbidden", Then::Nothing, "", "x", "j1", 403, Ask::ClockIn, true},
    {"AnonymousTokenStillChecked", Then::Nothing, unknown, "e1", "j1", 401, Ask::ClockIn, true},
    {"AnonymousTokenStillBinds", Then::Nothing, "Bearer TOKEN", "e2", "j2", 403, Ask::ClockIn, true}};

TEST(Tokens, DecideWhoMayReportAndRead) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ServiceCore service(TokenRule{std::chrono::days(30), c.anonymousAllowed});
        const std::string token = service.signIn();
        ASSERT_EQ(token.size(), 43u);
        ASSERT_EQ(token.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_"),
                  std::string::npos);
        if (c.then == Then::SignInAgain) {
            EXPECT_NE(service.signIn(), token);
        } else if (c.then == Then::RemoveEmployee) {
            EXPECT_EQ(service.storage->removeEmployee("e1"), RemoveOutcome::Removed);
            EXPECT_EQ(service.storage->addEmployee("e1", "hash", {"j1"}), AddOutcome::Added);
        } else if (c.then != Then::Nothing) {
            service.clock.advance(30 * 24h - (c.then == Then::LifetimeAlmostOver ? 1s : 0s));
        }
        const ApiRequest request{
            eventBody(EventKind::ClockIn, c.employee, c.job, "2024-03-05T09:00:00Z").dump(),
            "application/json",
            {},
            parseQuery(std::string("employeeId=") + c.employee + "&jobId=" + c.job +
                       "&from=2024-03-05T00:00:00Z&to=2024-03-05T10:00:00Z"),
            std::regex_replace(c.authorization, std::regex("TOKEN"), token),
            "127.0.0.1"};
        const ApiResponse answer = c.ask == Ask::ClockIn
                                       ? service.handlers->report(EventKind::ClockIn, request)
                                   : c.ask == Ask::Summary ? service.handlers->summary(request)
                                                           : service.handlers->impressions(request);
        EXPECT_EQ(answer.status, c.status) << answer.body;
        const bool challenged = std::ranges::any_of(answer.headers, [](const auto& header) {
            return header.first == "WWW-Authenticate" && header.second.starts_with("Bearer");
        });
        EXPECT_EQ(challenged, c.status == 401);
        // Whether the employee exists or not, the refusal reads the same.
        EXPECT_TRUE(c.status != 403 ||
                    answer.body == nlohmann::json({{"error", "not allowed for this employee and job"}}));
    }
}

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
