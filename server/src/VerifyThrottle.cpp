#include "VerifyThrottle.h"

#include <algorithm>

namespace corlune::server {

void VerifyThrottle::forgetStale(Record& record, Clock::TimePoint now) const {
    if (record.locked && now >= record.lockedUntil) {
        record.locked = false;
        record.failures.clear();
    }
    while (!record.failures.empty() && now - record.failures.front() >= rule_.window) {
        record.failures.pop_front();
    }
}

VerifyThrottle::Record* VerifyThrottle::recordFor(const std::string& employeeId, Clock::TimePoint now) {
    if (const auto it = records_.find(employeeId); it != records_.end()) {
        forgetStale(it->second, now);
        return &it->second;
    }
    if (records_.size() >= rule_.maxTracked) {
        for (auto it = records_.begin(); it != records_.end();) {
            Record& r = it->second;
            forgetStale(r, now);
            it = (!r.locked && r.failures.empty() && r.inFlight == 0) ? records_.erase(it) : std::next(it);
        }
        if (records_.size() >= rule_.maxTracked) {
            return nullptr;
        }
    }
    return &records_[employeeId];
}

bool VerifyThrottle::begin(const std::string& employeeId) {
    const std::lock_guard lock(mutex_);
    Record* record = recordFor(employeeId, clock_.now());
    if (record == nullptr) {
        return true;
    }
    if (record->locked || static_cast<int>(record->failures.size()) + record->inFlight >= rule_.maxFailures) {
        return false;
    }
    ++record->inFlight;
    return true;
}

void VerifyThrottle::finish(const std::string& employeeId, Attempt attempt) {
    const std::lock_guard lock(mutex_);
    const auto now = clock_.now();
    const auto it = records_.find(employeeId);
    if (it == records_.end()) {
        return;
    }
    Record& record = it->second;
    record.inFlight = std::max(0, record.inFlight - 1);
    forgetStale(record, now);
    if (attempt == Attempt::Succeeded) {
        record.failures.clear();
    } else if (attempt == Attempt::Failed && !record.locked) {
        record.failures.push_back(now);
        if (static_cast<int>(record.failures.size()) >= rule_.maxFailures) {
            record.locked = true;
            record.lockedUntil = now + rule_.lockout;
        }
    }
    if (!record.locked && record.failures.empty() && record.inFlight == 0) {
        records_.erase(it);
    }
}

} // namespace corlune::server
