#pragma once

#include "Clock.h"

#include <chrono>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <unordered_map>

namespace corlune::server {

/// Slows down password guessing, per employee ID: after `maxFailures` failed verifications
/// within `window`, the ID is locked for `lockout`, and every verification during the lock is
/// answered "no" without looking at the password. Attempts made during the lock do not extend
/// it; when it ends the ID starts afresh. A success clears the ID's failures.
/// Verifications still running count against the limit, so parallel guesses cannot get past
/// it. At most `maxTracked` IDs are remembered; when that many have recent failures, new IDs
/// go untracked (argon2id already limits verifications to tens per second).
class VerifyThrottle {
public:
    struct Rule {
        int maxFailures = 5;
        std::chrono::seconds window{60};
        std::chrono::seconds lockout{30};
        std::size_t maxTracked = 10000;
    };

    explicit VerifyThrottle(const Clock& clock)
        : VerifyThrottle(clock, Rule{}) {}
    VerifyThrottle(const Clock& clock, Rule rule)
        : clock_(clock)
        , rule_(rule) {}
    VerifyThrottle(const VerifyThrottle&) = delete;
    VerifyThrottle& operator=(const VerifyThrottle&) = delete;

    enum class Attempt { Succeeded, Failed, NotChecked };

    /// False when the ID may not be checked now (locked, or its remaining attempts are in
    /// flight); true starts an attempt, which `finish` must end.
    bool begin(const std::string& employeeId);
    /// NotChecked ends an attempt that could not be judged (the database failed).
    void finish(const std::string& employeeId, Attempt attempt);

private:
    struct Record {
        std::deque<Clock::TimePoint> failures;
        Clock::TimePoint lockedUntil{};
        bool locked = false;
        int inFlight = 0;
    };

    void forgetStale(Record& record, Clock::TimePoint now) const;
    /// The ID's record, made if there is room; null when the table is full.
    Record* recordFor(const std::string& employeeId, Clock::TimePoint now);

    const Clock& clock_;
    const Rule rule_;
    std::mutex mutex_;
    std::unordered_map<std::string, Record> records_;
};

} // namespace corlune::server
