#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>

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
///
/// Never sleeps: a pair that must wait is told how long at once. Every method may be called
/// from any thread.
class VerifyThrottle {
public:
    struct Rule {
        std::chrono::milliseconds firstDelay{1000};
        std::chrono::milliseconds maxDelay{60000};
        std::chrono::seconds forgetAfter{15 * 60};
        std::size_t maxTracked = 32768;
    };

    enum class Attempt { Succeeded, Failed, NotChecked };

    virtual ~VerifyThrottle() = default;

    /// Zero: the check may run now, and `finish` must end it. Otherwise how long the pair must
    /// wait before it may try again (whole seconds, at least one). Nothing when the state
    /// cannot be read (its database failed): no check may run.
    virtual std::optional<std::chrono::seconds> begin(const std::string& employeeId,
                                                      const std::string& clientAddress) = 0;
    /// NotChecked ends an attempt that could not be judged (the database failed).
    virtual void finish(const std::string& employeeId, const std::string& clientAddress, Attempt attempt) = 0;
};

/// firstDelay × 2^(failures-1), at most maxDelay.
std::chrono::milliseconds delayAfter(const VerifyThrottle::Rule& rule, int failures);

} // namespace corlune::server
