#include "Storage.h"
#include "Schema.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

using namespace corlune::server;

namespace {

EventReport report(EventKind kind, const std::string& at, const std::string& employee = "e1",
                   const std::string& job = "j1") {
    EventReport r;
    r.kind = kind;
    r.employeeId = employee;
    r.jobId = job;
    r.at = *parseTimestamp(at);
    return r;
}

class StorageTest : public testing::Test {
protected:
    void SetUp() override {
        storage = std::make_unique<Storage>(db);
        ASSERT_EQ(storage->addEmployee("e1", "hash-1", {"j1", ""}), AddOutcome::Added);
    }

    std::size_t eventCount(const std::string& employee = "e1", const std::string& job = "j1") {
        return storage->timeline(employee, job, 0, *parseTimestamp("2100-01-01T00:00:00Z")).events.size();
    }

    test::TempDir dir;
    const std::string db = dir.file("track.db");
    std::unique_ptr<Storage> storage;
};

TEST_F(StorageTest, CreatesTheLatestSchema) {
    Connection connection(db);
    EXPECT_EQ(schemaVersion(connection), latestSchemaVersion());
}

TEST_F(StorageTest, RefusesADatabaseFromANewerProgram) {
    storage.reset();
    {
        Connection connection(db);
        connection.exec("UPDATE schema_version SET version = 999");
    }
    EXPECT_THROW(Storage{db}, SqliteError);
}

TEST_F(StorageTest, EmployeesAreAddedListedAndRemoved) {
    EXPECT_EQ(storage->addEmployee("e1", "other", {"j9"}), AddOutcome::AlreadyExists);
    EXPECT_EQ(storage->addEmployee("e0", "hash-0", {"b", "a", "b"}), AddOutcome::Added);
    const auto list = storage->employees();
    ASSERT_TRUE(list.has_value());
    ASSERT_EQ(list->size(), 2u);
    EXPECT_EQ((*list)[0].id, "e0");
    EXPECT_EQ((*list)[0].jobs, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ((*list)[1].jobs, (std::vector<std::string>{"", "j1"}));
    EXPECT_EQ(storage->removeEmployee("e0"), RemoveOutcome::Removed);
    EXPECT_EQ(storage->removeEmployee("e0"), RemoveOutcome::NotFound);
    EXPECT_EQ(storage->employees()->size(), 1u);
}

TEST_F(StorageTest, CredentialsNameTheAccess) {
    const auto allowed = storage->credentials("e1", "j1");
    EXPECT_EQ(allowed.access, Access::Allowed);
    EXPECT_EQ(allowed.passwordHash, "hash-1");
    EXPECT_EQ(storage->credentials("e1", "").access, Access::Allowed);
    EXPECT_EQ(storage->credentials("e1", "j2").access, Access::JobNotAllowed);
    EXPECT_EQ(storage->credentials("E1", "j1").access, Access::UnknownEmployee);
}

TEST_F(StorageTest, StoresEventsOfKnownEmployeesOnTheirJobs) {
    const auto first = storage->store(report(EventKind::ClockIn, "2024-03-05T09:00:00Z"), "");
    const auto second = storage->store(report(EventKind::ClockOut, "2024-03-05T10:00:00Z"), "");
    EXPECT_EQ(first.outcome, StoreOutcome::Stored);
    EXPECT_EQ(second.outcome, StoreOutcome::Stored);
    EXPECT_GT(second.eventId, first.eventId);
    EXPECT_EQ(storage->store(report(EventKind::ClockIn, "2024-03-05T09:00:00Z", "nobody"), "").outcome,
              StoreOutcome::UnknownEmployee);
    EXPECT_EQ(storage->store(report(EventKind::ClockIn, "2024-03-05T09:00:00Z", "e1", "j2"), "").outcome,
              StoreOutcome::JobNotAllowed);
    EXPECT_EQ(eventCount(), 2u);
}

TEST_F(StorageTest, ARepeatedKeyIsAnsweredLikeTheFirstAndStoresNothing) {
    const auto event = report(EventKind::BreakStart, "2024-03-05T12:00:00Z");
    const auto first = storage->store(event, "key-1");
    const auto again = storage->store(event, "key-1");
    EXPECT_EQ(first.outcome, StoreOutcome::Stored);
    EXPECT_EQ(again.outcome, StoreOutcome::Replayed);
    EXPECT_EQ(again.eventId, first.eventId);
    EXPECT_EQ(eventCount(), 1u);
}

TEST_F(StorageTest, AKeyReusedForAnotherEventIsRefused) {
    ASSERT_EQ(storage->store(report(EventKind::BreakStart, "2024-03-05T12:00:00Z"), "key-1").outcome,
              StoreOutcome::Stored);
    EXPECT_EQ(storage->store(report(EventKind::BreakStart, "2024-03-05T12:00:01Z"), "key-1").outcome,
              StoreOutcome::KeyReused);
    EXPECT_EQ(storage->store(report(EventKind::BreakStop, "2024-03-05T12:00:00Z"), "key-1").outcome,
              StoreOutcome::KeyReused);
    EXPECT_EQ(eventCount(), 1u);
}

TEST_F(StorageTest, InputReportsKeepTheirCountsForReplays) {
    EventReport input = report(EventKind::InputTrack, "2024-03-05T12:00:00Z");
    input.endedAt = input.at + 60;
    input.keystrokes = 40;
    input.clicks = 2;
    ASSERT_EQ(storage->store(input, "k").outcome, StoreOutcome::Stored);
    EXPECT_EQ(storage->store(input, "k").outcome, StoreOutcome::Replayed);
    input.clicks = 3;
    EXPECT_EQ(storage->store(input, "k").outcome, StoreOutcome::KeyReused);
}

TEST_F(StorageTest, TimelineStartsAtTheLastClockOutBeforeTheRange) {
    for (const auto& [kind, at] : std::vector<std::pair<EventKind, const char*>>{
             {EventKind::ClockIn, "2024-03-04T09:00:00Z"},
             {EventKind::ClockOut, "2024-03-04T17:00:00Z"},
             {EventKind::ClockIn, "2024-03-04T22:00:00Z"},
             {EventKind::InputTrack, "2024-03-05T01:00:00Z"},
             {EventKind::ClockOut, "2024-03-05T02:00:00Z"},
             {EventKind::ClockIn, "2024-03-05T20:00:00Z"},
         }) {
        ASSERT_EQ(storage->store(report(kind, at), "").outcome, StoreOutcome::Stored);
    }
    const auto lookup = storage->timeline("e1", "j1", *parseTimestamp("2024-03-05T00:00:00Z"),
                                          *parseTimestamp("2024-03-05T12:00:00Z"));
    ASSERT_EQ(lookup.access, Access::Allowed);
    ASSERT_EQ(lookup.events.size(), 3u);
    EXPECT_EQ(lookup.events[0].at, *parseTimestamp("2024-03-04T17:00:00Z"));
    EXPECT_EQ(lookup.events[1].kind, EventKind::ClockIn);
    EXPECT_EQ(lookup.events[2].at, *parseTimestamp("2024-03-05T02:00:00Z"));
    EXPECT_EQ(storage->timeline("e1", "j2", 0, 1).access, Access::JobNotAllowed);
    EXPECT_EQ(storage->timeline("e2", "j1", 0, 1).access, Access::UnknownEmployee);
}

TEST_F(StorageTest, EventsSurviveAReopenAndTheEmployeesRemoval) {
    ASSERT_EQ(storage->store(report(EventKind::ClockIn, "2024-03-05T09:00:00Z"), "k1").outcome,
              StoreOutcome::Stored);
    storage = std::make_unique<Storage>(db);
    EXPECT_EQ(eventCount(), 1u);
    EXPECT_EQ(storage->store(report(EventKind::ClockIn, "2024-03-05T09:00:00Z"), "k1").outcome,
              StoreOutcome::Replayed);
    ASSERT_EQ(storage->removeEmployee("e1"), RemoveOutcome::Removed);
    Connection connection(db);
    Statement count(connection, "SELECT count(*) FROM events");
    auto row = count.run();
    ASSERT_TRUE(row.step());
    EXPECT_EQ(row.integer(0), 1);
}

TEST_F(StorageTest, ConcurrentWritersEachGetTheirOwnEvent) {
    constexpr int threads = 8;
    constexpr int perThread = 150;
    std::vector<std::thread> writers;
    std::mutex idsMutex;
    std::set<std::int64_t> ids;
    std::atomic<int> stored = 0;
    for (int t = 0; t < threads; ++t) {
        writers.emplace_back([&, t] {
            for (int i = 0; i < perThread; ++i) {
                // Every key is sent by two threads at once: one stores it, the other replays it.
                const std::string key = "k-" + std::to_string(t / 2) + "-" + std::to_string(i);
                const auto result = storage->store(report(EventKind::ClockIn, "2024-03-05T09:00:00Z"), key);
                ASSERT_TRUE(result.outcome == StoreOutcome::Stored ||
                            result.outcome == StoreOutcome::Replayed);
                stored += result.outcome == StoreOutcome::Stored;
                const std::lock_guard lock(idsMutex);
                ids.insert(result.eventId);
            }
        });
    }
    for (auto& w : writers) {
        w.join();
    }
    EXPECT_EQ(stored, threads / 2 * perThread);
    EXPECT_EQ(ids.size(), static_cast<std::size_t>(threads / 2 * perThread));
    EXPECT_EQ(eventCount(), static_cast<std::size_t>(threads / 2 * perThread));
}

TEST(StorageOpen, AnUnwritablePathThrows) {
    EXPECT_THROW(Storage{"/nonexistent-dir/x/track.db"}, SqliteError);
}

} // namespace
