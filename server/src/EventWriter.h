#pragma once

#include "Sqlite.h"
#include "Storage.h"
#include "WireFormat.h"

#include <condition_variable>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace corlune::server {

/// Writes events on a thread of its own with a connection of its own. Requests that arrive
/// while a commit is syncing wait for the next one and share it, so one fsync makes a whole
/// batch durable: the rate of durable events grows with the number of concurrent writers
/// instead of being capped by the disk's sync rate. Within a batch, events are checked and
/// inserted one after another in arrival order, so a key repeated inside one batch is seen.
class EventWriter {
public:
    explicit EventWriter(const std::string& path);
    /// Writes what is queued, then stops.
    ~EventWriter();
    EventWriter(const EventWriter&) = delete;
    EventWriter& operator=(const EventWriter&) = delete;

    StoreResult store(const EventReport& report, const std::string& idempotencyKey);

private:
    struct Pending {
        const EventReport* report;
        const std::string* key;
        std::promise<StoreResult> result;
    };

    void loop();
    void writeBatch(std::vector<Pending*>& batch);
    StoreResult writeOne(const EventReport& report, const std::string& key, std::int64_t receivedAt);

    Connection connection;
    AccessCheck access;
    Statement findKey;
    Statement insertEvent;

    std::mutex mutex;
    std::condition_variable wake;
    std::vector<Pending*> queue;
    bool stopping = false;
    std::thread thread;
};

} // namespace corlune::server
