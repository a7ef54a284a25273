#include "FakeJsonTransport.h"
#include "OfflineQueue.h"
#include "QueueDatabase.h"
#include "SyncState.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sqlite3.h>
#include <sys/stat.h>

namespace {

// Writes \a bytes where the queue database belongs.
void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

void execSql(const QString& path, const char* sql) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    char* message = nullptr;
    const int rc = sqlite3_exec(db, sql, nullptr, nullptr, &message);
    EXPECT_EQ(rc, SQLITE_OK) << (message ? message : "");
    sqlite3_free(message);
    sqlite3_close(db);
}

class OfflineQueueTest : public ::testing::Test {
protected:
    QString dbPath() const { return dir.filePath("queue/offline-queue.sqlite3"); }
    std::unique_ptr<OfflineQueue> openQueue() {
        return std::make_unique<OfflineQueue>(state, transport, dbPath());
    }

    // Answers by path: "/fail" gets 500, everything else 200.
    void failPath(const QString& failing, qint64 status = 500) {
        transport.answer = [failing, status](const FakeJsonTransport::Request& r) {
            return JsonReply{r.path == failing ? status : 200, {}, {}};
        };
    }

    static QStringList pathsOf(const QList<QueuedRequest>& queue) {
        QStringList out;
        for (const QueuedRequest& r : queue)
            out.append(r.path);
        return out;
    }

    QTemporaryDir dir;
    SyncState state;
    FakeJsonTransport transport;
};

TEST_F(OfflineQueueTest, FlushSendsInOrderAndKeepsOnlyTheRefused) {
    auto queue = openQueue();
    queue->enqueueRequestMethod("POST", "/one", QJsonObject{{"n", 1}});
    queue->enqueueRequestMethod("POST", "/two", QJsonObject{{"n", 2}});
    queue->enqueueRequestMethod("POST", "/three", QJsonObject{{"n", 3}});
    failPath("/two");

    queue->flushPendingIfOnline();

    EXPECT_EQ(transport.paths(), (QStringList{"/one", "/two", "/three"}));
    EXPECT_EQ(transport.requests()[1].body(), (QJsonObject{{"n", 2}}));
    ASSERT_EQ(pathsOf(queue->pendingQueue()), QStringList{"/two"});

    // What stays is what a new launch finds.
    queue.reset();
    EXPECT_EQ(pathsOf(openQueue()->pendingQueue()), QStringList{"/two"});
}

TEST_F(OfflineQueueTest, OnlyA2xxStatusDelivers) {
    const struct {
        qint64 status;
        bool delivered;
    } cases[] = {{200, true}, {201, true}, {299, true}, {199, false}, {300, false}, {404, false}, {0, false}};
    for (const auto& c : cases) {
        QTemporaryDir own;
        OfflineQueue queue(state, transport, own.filePath("q.sqlite3"));
        queue.enqueueRequestMethod("POST", "/x", QJsonObject{});
        transport.answer = [&](const FakeJsonTransport::Request&) { return JsonReply{c.status, {}, {}}; };
        queue.flushPendingIfOnline();
        EXPECT_EQ(queue.pendingQueue().isEmpty(), c.delivered) << c.status;
    }
}

TEST_F(OfflineQueueTest, NothingIsSentOfflineOrFromAnEmptyQueue) {
    auto queue = openQueue();
    queue->flushPendingIfOnline();
    EXPECT_TRUE(transport.requests().empty());

    queue->enqueueRequestMethod("POST", "/x", QJsonObject{});
    state.isOnline = false;
    queue->flushPendingIfOnline();
    EXPECT_TRUE(transport.requests().empty());
    EXPECT_EQ(queue->pendingQueue().size(), 1);
}

TEST_F(OfflineQueueTest, MissingPartsGetDefaultsAndAKey) {
    auto queue = openQueue();
    queue->enqueueRequestMethod(std::nullopt, std::nullopt, std::nullopt);
    queue->enqueueRequestMethod("POST", "/x", QJsonObject{}, "given-key");
    queue->enqueueRequestMethod(QString(""), QString(""), QJsonObject{{"a", 1}});
    queue.reset();
    queue = openQueue(); // the defaults are what was stored
    const QList<QueuedRequest>& pending = queue->pendingQueue();
    ASSERT_EQ(pending.size(), 3);
    EXPECT_EQ(pending[2].method, "GET");
    EXPECT_EQ(pending[2].path, "/");
    EXPECT_EQ(pending[2].body, (QJsonObject{{"a", 1}}));
    EXPECT_EQ(pending[0].method, "GET");
    EXPECT_EQ(pending[0].path, "/");
    EXPECT_EQ(pending[0].body, QJsonObject{});
    EXPECT_EQ(pending[0].idempotencyKey.size(), 36); // a UUID
    EXPECT_EQ(pending[1].idempotencyKey, "given-key");
}

TEST_F(OfflineQueueTest, EveryRetrySendsTheSameKeyAndBody) {
    auto queue = openQueue();
    queue->enqueueRequestMethod("POST", "/api/time/clock-out",
                                QJsonObject{{"clockOut", "2024-03-05T17:00:00Z"}});
    const QByteArray key = queue->pendingQueue()[0].idempotencyKey;
    transport.answer = [](const FakeJsonTransport::Request&) {
        return JsonReply{0, QStringLiteral("timeout"), {}};
    };
    queue->flushPendingIfOnline();
    queue.reset(); // a relaunch in between
    queue = openQueue();
    queue->flushPendingIfOnline();
    transport.answer = [](const FakeJsonTransport::Request&) { return JsonReply{200, {}, {}}; };
    queue->flushPendingIfOnline();

    const auto sent = transport.requests();
    ASSERT_EQ(sent.size(), 3u);
    for (const auto& r : sent) {
        EXPECT_EQ(r.idempotencyKey, key);
        EXPECT_EQ(r.method, "POST");
        EXPECT_EQ(r.body(), (QJsonObject{{"clockOut", "2024-03-05T17:00:00Z"}}));
    }
    EXPECT_TRUE(queue->pendingQueue().isEmpty());
    EXPECT_TRUE(openQueue()->pendingQueue().isEmpty());
}

TEST_F(OfflineQueueTest, RequestsQueuedDuringAFlushStayBehindTheRemainingOnes) {
    auto queue = openQueue();
    queue->enqueueRequestMethod("POST", "/a", QJsonObject{});
    queue->enqueueRequestMethod("POST", "/fail", QJsonObject{});
    queue->enqueueRequestMethod("POST", "/b", QJsonObject{});
    int nested = 0;
    transport.answer = [&](const FakeJsonTransport::Request& r) {
        if (r.path == "/a")
            queue->enqueueRequestMethod("POST", QStringLiteral("/late%1").arg(++nested), QJsonObject{});
        return JsonReply{r.path == "/fail" ? 503 : 200, {}, {}};
    };
    queue->flushPendingIfOnline();
    EXPECT_EQ(transport.paths(), (QStringList{"/a", "/fail", "/b"}));
    EXPECT_EQ(pathsOf(queue->pendingQueue()), (QStringList{"/fail", "/late1"}));
    EXPECT_EQ(pathsOf(openQueue()->pendingQueue()), (QStringList{"/fail", "/late1"}));
}

TEST_F(OfflineQueueTest, TheFileExistsOnlyWhileSomethingWaits) {
    auto queue = openQueue();
    queue->flushPendingIfOnline();
    EXPECT_FALSE(QFileInfo::exists(dbPath()));

    queue->enqueueRequestMethod("POST", "/a", QJsonObject{});
    EXPECT_TRUE(QFileInfo::exists(dbPath()));
    failPath("/a");
    queue->flushPendingIfOnline();
    EXPECT_TRUE(QFileInfo::exists(dbPath()));
    transport.answer = [](const FakeJsonTransport::Request&) { return JsonReply{200, {}, {}}; };
    queue->flushPendingIfOnline();
    EXPECT_FALSE(QFileInfo::exists(dbPath()));
    EXPECT_FALSE(QFileInfo::exists(dbPath() + "-wal"));

    // Used again after being emptied; an emptied file left by an older run goes at start-up.
    queue->enqueueRequestMethod("POST", "/b", QJsonObject{});
    EXPECT_EQ(pathsOf(openQueue()->pendingQueue()), QStringList{"/b"});
    execSql(dbPath(), "DELETE FROM pending");
    queue.reset();
    EXPECT_TRUE(openQueue()->pendingQueue().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(dbPath()));
}

TEST_F(OfflineQueueTest, AnEmptiedQueueKeepsTheFileWhileItHoldsOthersRows) {
    auto mine = openQueue();
    mine->enqueueRequestMethod("POST", "/mine", QJsonObject{});
    {
        // Another instance has the file open and a request of its own in it.
        auto other = openQueue();
        other->enqueueRequestMethod("POST", "/other", QJsonObject{});
        mine->flushPendingIfOnline();
        EXPECT_TRUE(mine->pendingQueue().isEmpty());
        EXPECT_EQ(pathsOf(openQueue()->pendingQueue()), QStringList{"/other"});
    }
    // Reopened, ours takes the other's request along. Then an instance queues and is killed:
    // its row is in the file but not in our queue.
    mine->enqueueRequestMethod("POST", "/x", QJsonObject{});
    EXPECT_EQ(pathsOf(mine->pendingQueue()), (QStringList{"/other", "/x"}));
    execSql(
        dbPath(),
        "INSERT INTO pending (method, path, body, idempotency_key) VALUES ('POST', '/killed', '{}', 'k')");
    mine->flushPendingIfOnline();
    EXPECT_TRUE(mine->pendingQueue().isEmpty());
    EXPECT_EQ(pathsOf(openQueue()->pendingQueue()), QStringList{"/killed"});
}

TEST_F(OfflineQueueTest, TheFilesAreTheOwnersAlone) {
    // A file left readable by others, from whatever source, is tightened too.
    QDir().mkpath(QFileInfo(dbPath()).absolutePath());
    QFile loose(dbPath());
    ASSERT_TRUE(loose.open(QIODevice::WriteOnly));
    loose.close();
    ::chmod(QFile::encodeName(dbPath()).constData(), 0644);

    auto queue = openQueue();
    queue->enqueueRequestMethod("POST", "/x", QJsonObject{});
    for (const QString& suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")}) {
        struct stat info {};
        ASSERT_EQ(::stat(QFile::encodeName(dbPath() + suffix).constData(), &info), 0) << suffix.toStdString();
        EXPECT_EQ(info.st_mode & 0777, 0600u) << suffix.toStdString();
    }
}

TEST_F(OfflineQueueTest, AnUnreadableFileIsSetAsideAndTheQueueStartsEmpty) {
    const struct {
        const char* name;
        std::function<void(const QString&)> spoil;
    } cases[] = {
        {"not a database", [](const QString& p) { writeFile(p, QByteArray(8192, 'x')); }},
        {"SQLite header, garbage pages",
         [](const QString& p) {
             writeFile(p, QByteArray("SQLite format 3\0", 16) + QByteArray(4096, '\xff'));
         }},
        {"a directory", [](const QString& p) { QDir().mkpath(p); }},
        {"a foreign database", [](const QString& p) { execSql(p, "CREATE TABLE other (x INTEGER)"); }},
        {"a newer schema",
         [](const QString& p) {
             execSql(
                 p,
                 "PRAGMA application_id=1129074993; PRAGMA user_version=99; CREATE TABLE pending (id INTEGER "
                 "PRIMARY KEY, method TEXT, path TEXT, body TEXT, idempotency_key TEXT)");
         }},
    };
    for (const auto& c : cases) {
        QTemporaryDir own;
        const QString path = own.filePath("data/q.sqlite3");
        c.spoil(path);
        OfflineQueue queue(state, transport, path);
        EXPECT_TRUE(queue.pendingQueue().isEmpty()) << c.name;
        EXPECT_TRUE(QFileInfo::exists(path + ".unreadable-1")) << c.name;
        queue.enqueueRequestMethod("POST", "/after", QJsonObject{});
        OfflineQueue reopened(state, transport, path);
        EXPECT_EQ(pathsOf(reopened.pendingQueue()), QStringList{"/after"}) << c.name;
        EXPECT_FALSE(QFileInfo::exists(path + ".unreadable-2")) << c.name;
    }
}

TEST_F(OfflineQueueTest, ReadableRowsOfADamagedQueueAreCarriedOver) {
    {
        auto queue = openQueue();
        queue->enqueueRequestMethod("POST", "/first", QJsonObject{{"n", 1}}, "k1");
        queue->enqueueRequestMethod("POST", "/second", QJsonObject{{"n", 2}}, "k2");
        queue->enqueueRequestMethod("POST", "/third", QJsonObject{{"n", 3}}, "k3");
    }
    execSql(dbPath(), "UPDATE pending SET body = '{broken' WHERE path = '/second'");

    auto queue = openQueue();
    ASSERT_TRUE(QFileInfo::exists(dbPath() + ".unreadable-1"));
    ASSERT_EQ(pathsOf(queue->pendingQueue()), (QStringList{"/first", "/third"}));
    EXPECT_EQ(queue->pendingQueue()[1].idempotencyKey, "k3");
    EXPECT_EQ(queue->pendingQueue()[1].body, (QJsonObject{{"n", 3}}));
    queue.reset();
    EXPECT_EQ(pathsOf(openQueue()->pendingQueue()), (QStringList{"/first", "/third"}));
}

TEST_F(OfflineQueueTest, WithoutAUsableFolderTheQueueStillWorksInMemory) {
    writeFile(dir.filePath("blocker"), "a file where a folder should be");
    OfflineQueue queue(state, transport, dir.filePath("blocker/q.sqlite3"));
    queue.enqueueRequestMethod("POST", "/a", QJsonObject{});
    queue.enqueueRequestMethod("POST", "/b", QJsonObject{});
    failPath("/a");
    queue.flushPendingIfOnline();
    EXPECT_EQ(transport.paths(), (QStringList{"/a", "/b"}));
    EXPECT_EQ(pathsOf(queue.pendingQueue()), QStringList{"/a"});
}

} // namespace
