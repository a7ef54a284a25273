#pragma once

#include "Storage.h"
#include "WireFormat.h"

#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace corlune::server {

/// One report waiting to be written, and the idempotency key it came with (empty: none).
struct PendingEvent {
    const EventReport* report;
    const std::string* key;
};

/// Writes events on a thread of its own. Requests that arrive while a commit is syncing wait
/// for the next one and share it, so one sync makes a whole batch durable: the rate of durable
/// events grows with the number of concurrent writers instead of being capped by the disk's
/// sync rate.
class EventWriter {
public:
    /// Writes a batch in one transaction and answers each event in order, or throws when the
    /// transaction fails: nothing of the batch is stored then, and every answer is Failed.
    /// Runs on the writer's thread only, so it may keep a connection of its own.
    using WriteBatch = std::function<std::vector<StoreResult>(const std::vector<PendingEvent>&)>;

    /// Batches hold at most `maxBatch` events.
    EventWriter(WriteBatch write, std::size_t maxBatch);
    /// Writes what is queued, then stops.
    ~EventWriter();
    EventWriter(const EventWriter&) = delete;
    EventWriter& operator=(const EventWriter&) = delete;

    StoreResult store(const EventReport& report, const std::string& idempotencyKey);

private:
    struct Pending {
        PendingEvent event;
        std::promise<StoreResult> result;
    };

    void loop();
    void writeBatch(std::vector<Pending*>& batch);

    const WriteBatch write;
    const std::size_t maxBatch;
    std::mutex mutex;
    std::condition_variable wake;
    std::vector<Pending*> queue;
    bool stopping = false;
    std::thread thread;
};

} // namespace corlune::server
