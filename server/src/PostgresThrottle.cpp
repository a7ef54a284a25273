#include "PostgresThrottle.h"

namespace corlune::server {

namespace {

/// How long a check holds its pair. A check ends well within it; an instance that dies in
/// the middle of one leaves the pair waiting no longer than this.
constexpr std::int64_t checkLeaseMs = 30'000;

std::string pairOf(const std::string& employeeId, const std::string& clientAddress) {
    // An address holds no NUL, so the first one ends it whatever the ID holds.
    std::string pair = clientAddress;
    pair += '\0';
    pair += employeeId;
    return pair;
}

} // namespace

std::optional<std::chrono::seconds> PostgresThrottle::begin(const std::string& employeeId,
                                                            const std::string& clientAddress) {
    try {
        auto connection = pool.lease();
        const PgResult answer = connection->run(
            "throttle_begin", PgParams()
                                  .bytes(pairOf(employeeId, clientAddress))
                                  .integer(clock.unixMillis())
                                  .integer(checkLeaseMs)
                                  .integer(std::chrono::milliseconds(rule.forgetAfter).count())
                                  .integer(static_cast<std::int64_t>(rule.maxTracked)));
        return std::chrono::ceil<std::chrono::seconds>(std::chrono::milliseconds(answer.integer(0, 0)));
    } catch (const PgError&) {
        return std::nullopt;
    }
}

void PostgresThrottle::finish(const std::string& employeeId, const std::string& clientAddress,
                              Attempt attempt) {
    PgParams params;
    params.bytes(pairOf(employeeId, clientAddress));
    const char* statement = "throttle_succeeded";
    if (attempt == Attempt::Failed) {
        statement = "throttle_failed";
        params.integer(clock.unixMillis()).integer(rule.firstDelay.count()).integer(rule.maxDelay.count());
    } else if (attempt == Attempt::NotChecked) {
        statement = "throttle_not_checked";
    }
    try {
        pool.lease()->run(statement, params);
    } catch (const PgError&) {
        // The pair's lease runs out by itself.
    }
}

} // namespace corlune::server
