#include "Schema.h"
#include "Storage.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace corlune::server;

namespace {

TEST(StorageFile, NewFilesAreTheOwnersAlone) {
    TempDir dir;
    const std::string db = dir.file("track.db");
    const mode_t previous = umask(022);
    Storage storage(db);
    umask(previous);
    ASSERT_EQ(storage.addEmployee("e1", "hash", {"j1"}), AddOutcome::Added);
    for (const std::string& file : {db, db + "-wal", db + "-shm"}) {
        struct stat info {};
        ASSERT_EQ(stat(file.c_str(), &info), 0) << file;
        EXPECT_EQ(info.st_mode & 0777, 0600u) << file;
    }
}

TEST(StorageFile, AnOlderSchemaIsMigratedAndANewerOneRefused) {
    TempDir dir;
    const std::string db = dir.file("track.db");
    {
        Storage storage(db);
        Connection connection(db);
        connection.exec("DROP TABLE tokens; UPDATE schema_version SET version = 1");
    }
    {
        Storage storage(db);
        ASSERT_EQ(storage.addEmployee("e1", "hash", {"j1"}), AddOutcome::Added);
        EXPECT_TRUE(storage.addToken("digest", {"e1", "j1"}, 1, 2));
    }
    Connection(db).exec("UPDATE schema_version SET version = 99");
    EXPECT_THROW(Storage{db}, SqliteError);
    EXPECT_THROW(Storage{dir.file("missing/track.db")}, SqliteError);
}

} // namespace
