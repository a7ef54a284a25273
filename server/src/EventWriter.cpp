#include "EventWriter.h"

#include <chrono>

namespace corlune::server {

namespace {

constexpr std::size_t maxBatch = 512;

} // namespace

EventWriter::EventWriter(const std::string& path)
    : connection(path)
    , access(connection)
    , findKey(connection, "SELECT id, kind, employee_id, job_id, at, ended_at, keystrokes, clicks "
                          "FROM events WHERE idempotency_key = ?1")
    , insertEvent(connection,
                  "INSERT INTO events (kind, employee_id, job_id, at, ended_at, keystrokes, clicks, "
                  "received_at, idempotency_key) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)")
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
    Pending pending{&report, &idempotencyKey, {}};
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
    std::vector<StoreResult> results(batch.size());
    try {
        const auto receivedAt = std::chrono::duration_cast<std::chrono::seconds>(
                                    std::chrono::system_clock::now().time_since_epoch())
                                    .count();
        Transaction transaction(connection);
        for (std::size_t i = 0; i < batch.size(); ++i) {
            results[i] = writeOne(*batch[i]->report, *batch[i]->key, receivedAt);
        }
        transaction.commit();
    } catch (const SqliteError&) {
        // The transaction is rolled back whole: nothing of this batch was stored.
        results.assign(batch.size(), StoreResult{});
    }
    for (std::size_t i = 0; i < batch.size(); ++i) {
        // The promise leaves the waiter's frame first: that frame ends as soon as the value is in.
        std::promise<StoreResult> promise = std::move(batch[i]->result);
        promise.set_value(results[i]);
    }
}

StoreResult EventWriter::writeOne(const EventReport& report, const std::string& key,
                                  std::int64_t receivedAt) {
    if (!key.empty()) {
        auto row = findKey.run();
        if (row.bind(1, key).step()) {
            EventReport stored;
            stored.kind = static_cast<EventKind>(row.integer(1));
            stored.employeeId = row.text(2);
            stored.jobId = row.text(3);
            stored.at = row.integer(4);
            stored.endedAt = row.integer(5);
            stored.keystrokes = row.integer(6);
            stored.clicks = row.integer(7);
            return {stored == report ? StoreOutcome::Replayed : StoreOutcome::KeyReused, row.integer(0)};
        }
    }
    switch (access.check(report.employeeId, report.jobId)) {
    case Access::Allowed:
        break;
    case Access::UnknownEmployee:
        return {StoreOutcome::UnknownEmployee, 0};
    case Access::JobNotAllowed:
        return {StoreOutcome::JobNotAllowed, 0};
    case Access::Failed:
        throw SqliteError("access check failed", SQLITE_ERROR);
    }
    auto row = insertEvent.run();
    row.bind(1, std::int64_t{static_cast<int>(report.kind)})
        .bind(2, report.employeeId)
        .bind(3, report.jobId)
        .bind(4, report.at)
        .bind(8, receivedAt);
    if (report.kind == EventKind::InputTrack) {
        row.bind(5, report.endedAt).bind(6, report.keystrokes).bind(7, report.clicks);
    }
    if (key.empty()) {
        row.bindNull(9);
    } else {
        row.bind(9, key);
    }
    row.step();
    return {StoreOutcome::Stored, connection.lastInsertId()};
}

} // namespace corlune::server
