#pragma once

#include "FakeClock.h"
#include "Handlers.h"
#include "TestDatabase.h"

#include <memory>
#include <string>

namespace corlune::server::test {

/// The service's handlers over a fresh database of the backend under test, with a fake clock:
/// every rule of the service without a socket. The employee "e1", password "secret", may work
/// on the jobs "j1" and "0"; "e2" on "j2".
class ServiceCore {
public:
    explicit ServiceCore(TokenRule rule = TokenRule{});

    /// New storage and handlers on the same file, as after a restart of the service.
    void restart();
    ApiResponse verify(const std::string& employee, const std::string& job, const std::string& password,
                       const std::string& address = "127.0.0.1");
    /// A token of "e1" on the job.
    std::string signIn(const std::string& job = "j1");
    /// POST of an event; `at` fills the kind's instant member (and both of an input report's).
    ApiResponse report(EventKind kind, const std::string& employee, const std::string& job,
                       const std::string& at, const std::string& token = {}, const std::string& key = {});
    ApiResponse summary(const std::string& query, const std::string& token = {});

    TestDatabase database;
    const TokenRule rule;
    FakeClock clock;
    std::unique_ptr<Storage> storage;
    std::unique_ptr<VerifyThrottle> throttle;
    std::unique_ptr<Handlers> handlers;
};

/// An event body as the time clock sends it.
nlohmann::json eventBody(EventKind kind, const std::string& employee, const std::string& job,
                         const std::string& at);

} // namespace corlune::server::test
