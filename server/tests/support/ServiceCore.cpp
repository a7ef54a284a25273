#include "ServiceCore.h"

#include "PasswordHash.h"

#include <gtest/gtest.h>

#include <map>

namespace corlune::server::test {

namespace {

/// Hashing costs a tenth of a second: once per process.
const std::string& secretHash() {
    static const std::string hash = hashPassword("secret").value();
    return hash;
}

} // namespace

ServiceCore::ServiceCore(TokenRule rule)
    : rule(rule) {
    restart();
    EXPECT_EQ(storage->addEmployee("e1", secretHash(), {"j1", "0"}), AddOutcome::Added);
    EXPECT_EQ(storage->addEmployee("e2", secretHash(), {"j2"}), AddOutcome::Added);
}

void ServiceCore::restart() {
    handlers.reset();
    throttle.reset();
    storage.reset();
    storage = openStorage(database.name());
    throttle = storage->verifyThrottle(clock, VerifyThrottle::Rule{});
    handlers =
        std::make_unique<Handlers>(*storage, *throttle, clock, nullptr, VersionAnswer{"1.0", {}}, rule);
}

ApiResponse ServiceCore::verify(const std::string& employee, const std::string& job,
                                const std::string& password, const std::string& address) {
    const nlohmann::json body{{"employeeId", employee}, {"jobId", job}, {"password", password}};
    return handlers->verify(ApiRequest{body.dump(), "application/json", {}, {}, {}, address});
}

std::string ServiceCore::signIn(const std::string& job) {
    const ApiResponse answer = verify("e1", job, "secret");
    EXPECT_EQ(answer.body.value("ok", false), true);
    return answer.body.value("token", "");
}

ApiResponse ServiceCore::report(EventKind kind, const std::string& employee, const std::string& job,
                                const std::string& at, const std::string& token, const std::string& key) {
    return handlers->report(kind, ApiRequest{eventBody(kind, employee, job, at).dump(),
                                             "application/json",
                                             key,
                                             {},
                                             token.empty() ? "" : "Bearer " + token,
                                             "127.0.0.1"});
}

ApiResponse ServiceCore::summary(const std::string& query, const std::string& token) {
    return handlers->summary(
        ApiRequest{{}, {}, {}, parseQuery(query), token.empty() ? "" : "Bearer " + token, "127.0.0.1"});
}

nlohmann::json eventBody(EventKind kind, const std::string& employee, const std::string& job,
                         const std::string& at) {
    static const std::map<EventKind, const char*> member = {{EventKind::ClockIn, "clockIn"},
                                                            {EventKind::ClockOut, "clockOut"},
                                                            {EventKind::BreakStart, "start"},
                                                            {EventKind::BreakStop, "end"},
                                                            {EventKind::InputTrack, "startedAt"}};
    nlohmann::json body{{"employeeId", employee}, {"jobId", job}, {member.at(kind), at}};
    if (kind == EventKind::InputTrack) {
        body.update({{"endedAt", at}, {"keystrokes", 3}, {"clicks", 1}});
    }
    return body;
}

} // namespace corlune::server::test
