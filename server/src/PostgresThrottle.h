#pragma once

#include "Clock.h"
#include "PgPool.h"
#include "VerifyThrottle.h"

namespace corlune::server {

/// The slow-down kept in PostgreSQL, so every instance on the database counts the same
/// failures and lets one check per pair run at a time. Its times are the wall clock's, which
/// the instances' hosts are expected to keep in step.
class PostgresThrottle final : public VerifyThrottle {
public:
    /// `pool` must outlive it; its connections have the statements of PostgresStorage prepared.
    PostgresThrottle(PgPool& pool, const Clock& clock, Rule rule)
        : pool(pool)
        , clock(clock)
        , rule(rule) {}

    std::optional<std::chrono::seconds> begin(const std::string& employeeId,
                                              const std::string& clientAddress) override;
    void finish(const std::string& employeeId, const std::string& clientAddress, Attempt attempt) override;

private:
    PgPool& pool;
    const Clock& clock;
    const Rule rule;
};

} // namespace corlune::server
