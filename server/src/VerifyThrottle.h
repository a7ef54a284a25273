#pragma once

#include "Clock.h"

#include <chrono>
#include <cstddef>
#include <list>
#include <mutex>
#include <string>
#include <unordered_map>

namespace corlune::server {

/// Slows down password guessing without ever locking anyone out. Failures are counted per
/// employee ID and client address together: after the n-th failure in a row, that pair waits
/// firstDelay × 2^(n-1), at most maxDelay, before its next check, so the right password from
/// another address is never held up by someone else's guesses. An ID counts the same whether
/// or not such an employee exists. One check per pair runs at a time, so parallel guesses
/// cannot slip past the delay. A success forgets the pair; so does `forgetAfter` without a try.
///
/// At most `maxTracked` pairs are remembered. When the table is full, the pair tried longest
/// ago makes room: a pair enters only through a full password check, which the hashing pool
/// limits to tens a second, so cycling addresses or IDs to flush a pair out costs an attacker
/// far more checks than waiting out its delay.
class VerifyThrottle {
public:
    struct Rule {
        std::chrono::milliseconds firstDelay{1000};
        std::chrono::milliseconds maxDelay{60000};
        std::chrono::seconds forgetAfter{15 * 60};
        std::size_t maxTracked = 32768;
    };

    explicit VerifyThrottle(const Clock& clock)
        : VerifyThrottle(clock, Rule{}) {}
    VerifyThrottle(const Clock& clock, Rule rule)
        : clock(clock)
        , rule(rule) {}
    VerifyThrottle(const VerifyThrottle&) = delete;
    VerifyThrottle& operator=(const VerifyThrottle&) = delete;

    enum class Attempt { Succeeded, Failed, NotChecked };

    /// Zero: the check may run now, and `finish` must end it. Otherwise how long the pair must
    /// wait before it may try again (whole seconds, at least one).
    std::chrono::seconds begin(const std::string& employeeId, const std::string& clientAddress);
    /// NotChecked ends an attempt that could not be judged (the database failed).
    void finish(const std::string& employeeId, const std::string& clientAddress, Attempt attempt);

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
