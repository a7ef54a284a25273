#include "FakeJsonTransport.h"
#include "OfflineQueue.h"
#include "SyncState.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sqlite3.h>

namespace {

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

void execSql(const QString& path, const char* sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sql;
    sqlite3_close(db);
}

// Whatever lies where the queue belongs, the program starts with an empty queue that works, and
// what lay there is kept aside, untouched, for whoever wants to look at it.
TEST(OfflineQueue, AnUnreadableFileIsSetAsideAndANewQueueWorks) {
    const struct {
        const char* name;
        std::function<void(const QString&)> spoil;
    } cases[] = {
        {"not a database", [](const QString& p) { writeFile(p, QByteArray(8192, 'x')); }},
        {"SQLite's header over garbage",
         [](const QString& p) {
             writeFile(p, QByteArray("SQLite format 3\0", 16) + QByteArray(4096, '\xff'));
         }},
        {"a folder", [](const QString& p) { QDir().mkpath(p); }},
        {"another program's database",
         [](const QString& p) { execSql(p, "CREATE TABLE other (x INTEGER)"); }},
        {"a newer queue",
         [](const QString& p) {
             execSql(p, "PRAGMA application_id=1129074993; PRAGMA user_version=99; CREATE TABLE pending (id "
                        "INTEGER PRIMARY KEY, method TEXT, path TEXT, body TEXT, idempotency_key TEXT)");
         }},
    };
    SyncState state;
    FakeJsonTransport transport;
    for (const auto& c : cases) {
        QTemporaryDir folder;
        const QString path = folder.filePath("q.sqlite3");
        c.spoil(path);
        const qint64 size = QFileInfo(path).size();
        OfflineQueue queue(state, transport, path);
        EXPECT_TRUE(queue.pendingQueue().isEmpty()) << c.name;
        const QFileInfo aside(path + ".unreadable-1");
        EXPECT_TRUE(aside.exists()) << c.name;
        EXPECT_EQ(aside.size(), size) << c.name;
        queue.enqueueRequestMethod("POST", "/api/time/clock-in", QJsonObject{});
        ASSERT_EQ(OfflineQueue(state, transport, path).pendingQueue().size(), 1) << c.name;
    }
}

} // namespace
