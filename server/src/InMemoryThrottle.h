#pragma once

#include "Clock.h"
#include "VerifyThrottle.h"

#include <chrono>
#include <cstddef>
#include <list>
#include <mutex>
#include <string>
#include <unordered_map>

namespace corlune::server {

/// The slow-down in this process's memory: for a database that one instance owns.
class InMemoryThrottle final : public VerifyThrottle {
public:
    InMemoryThrottle(const Clock& clock, Rule rule)
        : clock(clock)
        , rule(rule) {}
    InMemoryThrottle(const InMemoryThrottle&) = delete;
    InMemoryThrottle& operator=(const InMemoryThrottle&) = delete;

    std::optional<std::chrono::seconds> begin(const std::string& employeeId,
                                              const std::string& clientAddress) override;
    void finish(const std::string& employeeId, const std::string& clientAddress, Attempt attempt) override;

private:
    struct Record {
        std::list<std::string>::iterator age; ///< the pair's place in `byAge`
        int failures = 0;
        bool checking = false;
        Clock::TimePoint lastTry{};
        Clock::TimePoint notBefore{};
    };

    /// Drops the pairs not tried for `forgetAfter`.
    void forgetStale(Clock::TimePoint now);
    /// While the table is full, drops the pair tried longest ago that is not being checked.
    void makeRoom();
    void erase(std::unordered_map<std::string, Record>::iterator it);

    const Clock& clock;
    const Rule rule;
    std::mutex mutex;
    std::unordered_map<std::string, Record> records;
    std::list<std::string> byAge; ///< keys, the pair tried longest ago first
};

} // namespace corlune::server
