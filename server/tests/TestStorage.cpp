#include "Storage.h"
#include "TempDir.h"
#include "TestDatabase.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <thread>

using namespace corlune::server;
using corlune::server::test::TestDatabase;

namespace {

TEST(StorageFile, NewFilesAreTheOwnersAlone) {
    if (TestDatabase::onPostgres()) {
        GTEST_SKIP() << "SQLite's files";
    }
    TempDir dir;
    const std::string db = dir.file("track.db");
    const mode_t previous = umask(022);
    const auto storage = openStorage(db);
    umask(previous);
    ASSERT_EQ(storage->addEmployee("e1", "hash", {"j1"}), AddOutcome::Added);
    for (const std::string& file : {db, db + "-wal", db + "-shm"}) {
        struct stat info {};
        ASSERT_EQ(stat(file.c_str(), &info), 0) << file;
        EXPECT_EQ(info.st_mode & 0777, 0600u) << file;
    }
}

TEST(StorageSchema, AnOlderSchemaIsMigratedAndANewerOneRefused) {
    const TestDatabase database;
    openStorage(database.name());
    if (!TestDatabase::onPostgres()) {
        database.exec("DROP TABLE tokens; UPDATE schema_version SET version = 1");
        const auto storage = openStorage(database.name());
        ASSERT_EQ(storage->addEmployee("e1", "hash", {"j1"}), AddOutcome::Added);
        EXPECT_TRUE(storage->addToken("digest", {"e1", "j1"}, 1, 2));
    }
    database.exec("UPDATE schema_version SET version = 99");
    EXPECT_THROW(openStorage(database.name()), StorageError);
    EXPECT_THROW(openStorage(TempDir().file("missing/track.db")), StorageError);
}

// Instances of the service started together on one database.
TEST(StorageSchema, ConcurrentStartsMigrateOnce) {
    const TestDatabase database;
    {
        std::vector<std::jthread> starts;
        for (int i = 0; i < 4; ++i) {
            starts.emplace_back([&] { EXPECT_NO_THROW(openStorage(database.name())); });
        }
    }
    EXPECT_EQ(database.number("SELECT count(*) FROM schema_version"), 1);
}

} // namespace
