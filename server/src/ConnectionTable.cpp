#include "ConnectionTable.h"

#include <vector>

namespace corlune::server {

bool ConnectionTable::admit(const std::string& address) {
    const std::lock_guard lock(mutex);
    std::size_t& fromAddress = perAddress[address];
    if (total >= maxTotal || fromAddress >= maxPerAddress) {
        if (fromAddress == 0) {
            perAddress.erase(address);
        }
        return false;
    }
    ++fromAddress;
    ++total;
    return true;
}

void ConnectionTable::enter(const std::shared_ptr<Entry>& entry) {
    const std::lock_guard lock(mutex);
    entries.emplace(entry.get(), entry);
}

void ConnectionTable::leave(Entry* entry, const std::string& address) {
    {
        const std::lock_guard lock(mutex);
        entries.erase(entry);
        if (--perAddress[address] == 0) {
            perAddress.erase(address);
        }
        --total;
    }
    emptied.notify_all();
}

bool ConnectionTable::admitBody() {
    const std::lock_guard lock(mutex);
    if (bodies >= maxBodies) {
        return false;
    }
    ++bodies;
    return true;
}

void ConnectionTable::bodyDone() {
    const std::lock_guard lock(mutex);
    --bodies;
}

void ConnectionTable::stopAll() {
    // Stopped outside the lock: the last reference to a connection may go with this list,
    // and its destructor leaves the table.
    std::vector<std::shared_ptr<Entry>> open;
    {
        const std::lock_guard lock(mutex);
        for (const auto& [raw, entry] : entries) {
            if (auto alive = entry.lock()) {
                open.push_back(std::move(alive));
            }
        }
    }
    for (const auto& entry : open) {
        entry->stop();
    }
}

bool ConnectionTable::waitEmpty(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex);
    return emptied.wait_for(lock, timeout, [this] { return total == 0; });
}

} // namespace corlune::server
