#include "EventWriter.h"

namespace corlune::server {

EventWriter::EventWriter(WriteBatch write, std::size_t maxBatch)
    : write(std::move(write))
    , maxBatch(maxBatch)
    , thread([this] { loop(); }) {}

EventWriter::~EventWriter() {
    {
        const std::lock_guard lock(mutex);
        stopping = true;
    }
    wake.notify_one();
    thread.join();
}

StoreResult EventWriter::store(const EventReport& report, const std::string& idempotencyKey) {
    Pending pending{{&report, &idempotencyKey}, {}};
    auto future = pending.result.get_future();
    {
        const std::lock_guard lock(mutex);
        if (stopping) {
            return {};
        }
        queue.push_back(&pending);
    }
    wake.notify_one();
    return future.get();
}

void EventWriter::loop() {
    std::vector<Pending*> batch;
    for (;;) {
        {
            std::unique_lock lock(mutex);
            wake.wait(lock, [this] { return stopping || !queue.empty(); });
            if (queue.empty()) {
                return;
            }
            const auto count = std::min(queue.size(), maxBatch);
            batch.assign(queue.begin(), queue.begin() + static_cast<std::ptrdiff_t>(count));
            queue.erase(queue.begin(), queue.begin() + static_cast<std::ptrdiff_t>(count));
        }
        writeBatch(batch);
    }
}

void EventWriter::writeBatch(std::vector<Pending*>& batch) {
    std::vector<PendingEvent> events;
    events.reserve(batch.size());
    for (const Pending* pending : batch) {
        events.push_back(pending->event);
    }
    std::vector<StoreResult> results;
    try {
        results = write(events);
    } catch (const std::exception&) {
        results.clear();
    }
    results.resize(batch.size(), StoreResult{});
    for (std::size_t i = 0; i < batch.size(); ++i) {
        // The promise leaves the waiter's frame first: that frame ends as soon as the value is in.
        std::promise<StoreResult> promise = std::move(batch[i]->result);
        promise.set_value(results[i]);
    }
}

} // namespace corlune::server
