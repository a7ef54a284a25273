#include "InMemoryThrottle.h"

#include <algorithm>

namespace corlune::server {

namespace {

std::string keyOf(const std::string& employeeId, const std::string& clientAddress) {
    // An address holds no NUL, so the first one ends it whatever the ID holds.
    std::string key = clientAddress;
    key += '\0';
    key += employeeId;
    return key;
}

} // namespace

std::chrono::milliseconds delayAfter(const VerifyThrottle::Rule& rule, int failures) {
    return std::min(rule.maxDelay,
                    rule.firstDelay * (std::int64_t{1} << std::min(std::max(failures, 1) - 1, 30)));
}

void InMemoryThrottle::erase(std::unordered_map<std::string, Record>::iterator it) {
    byAge.erase(it->second.age);
    records.erase(it);
}

void InMemoryThrottle::forgetStale(Clock::TimePoint now) {
    while (!byAge.empty()) {
        const auto oldest = records.find(byAge.front());
        if (oldest->second.checking || now - oldest->second.lastTry < rule.forgetAfter) {
            break;
        }
        erase(oldest);
    }
}

void InMemoryThrottle::makeRoom() {
    for (auto key = byAge.begin(); records.size() >= rule.maxTracked && key != byAge.end();) {
        const auto it = records.find(*key++);
        if (!it->second.checking) {
            erase(it);
        }
    }
}

std::optional<std::chrono::seconds> InMemoryThrottle::begin(const std::string& employeeId,
                                                            const std::string& clientAddress) {
    const std::lock_guard lock(mutex);
    const auto now = clock.now();
    forgetStale(now);
    std::string key = keyOf(employeeId, clientAddress);
    auto it = records.find(key);
    if (it == records.end()) {
        makeRoom();
        if (records.size() >= rule.maxTracked) {
            // Every remembered pair is being checked right now: the hashing pool's own bound holds.
            return std::chrono::seconds(1);
        }
        byAge.push_back(key);
        it = records.emplace(std::move(key), Record{std::prev(byAge.end())}).first;
    } else if (it->second.checking) {
        return std::chrono::seconds(1);
    } else if (now < it->second.notBefore) {
        return std::chrono::ceil<std::chrono::seconds>(it->second.notBefore - now);
    }
    Record& record = it->second;
    record.checking = true;
    record.lastTry = now;
    byAge.splice(byAge.end(), byAge, record.age);
    return std::chrono::seconds(0);
}

void InMemoryThrottle::finish(const std::string& employeeId, const std::string& clientAddress,
                              Attempt attempt) {
    const std::lock_guard lock(mutex);
    const auto it = records.find(keyOf(employeeId, clientAddress));
    if (it == records.end()) {
        return;
    }
    Record& record = it->second;
    record.checking = false;
    if (attempt == Attempt::Succeeded || (attempt == Attempt::NotChecked && record.failures == 0)) {
        erase(it);
        return;
    }
    if (attempt == Attempt::Failed) {
        ++record.failures;
        record.lastTry = clock.now();
        record.notBefore = record.lastTry + delayAfter(rule, record.failures);
        byAge.splice(byAge.end(), byAge, record.age);
    }
}

} // namespace corlune::server
