#include "FakeClocks.h"
#include "FakeJsonTransport.h"
#include "OfflineQueue.h"
#include "SyncState.h"
#include "TimeClockWire.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

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

// A queue file of the program's first version, with two reports.
const std::string firstQueue =
    "PRAGMA application_id=1129074993; PRAGMA user_version=1; CREATE TABLE pending (id INTEGER PRIMARY KEY, "
    "method TEXT NOT NULL, path TEXT NOT NULL, body TEXT NOT NULL, idempotency_key TEXT NOT NULL); "
    "INSERT INTO pending VALUES (1, 'POST', '/refused', '{}', 'k1'), (2, 'POST', '/taken', '{}', 'k2')";

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
         [](const QString& p) { execSql(p, (firstQueue + "; PRAGMA user_version=99").c_str()); }},
    };
    SyncState state;
    FakeJsonTransport transport;
    FakeWallClock wall;
    for (const auto& c : cases) {
        QTemporaryDir folder;
        const QString path = folder.filePath("q.sqlite3");
        c.spoil(path);
        const qint64 size = QFileInfo(path).size();
        OfflineQueue queue(state, transport, wall, path);
        EXPECT_TRUE(queue.pendingQueue().isEmpty()) << c.name;
        const QFileInfo aside(path + ".unreadable-1");
        EXPECT_TRUE(aside.exists()) << c.name;
        EXPECT_EQ(aside.size(), size) << c.name;
        queue.enqueueRequestMethod("POST", "/api/time/clock-in", QJsonObject{});
        ASSERT_EQ(OfflineQueue(state, transport, wall, path).pendingQueue().size(), 1) << c.name;
    }
}

// Each employee's and job's reports go in order with their own token, once it has signed in
// during this run; the others' wait, holding nobody up.
TEST(OfflineQueue, ReportsGoWithTheirOwnersTokenOnceTheOwnerSignedIn) {
    QTemporaryDir folder;
    SyncState state;
    FakeJsonTransport transport;
    FakeWallClock wall;
    OfflineQueue queue(state, transport, wall, folder.filePath("q.sqlite3"));
    state.tokens[{"ana", "j"}] = "A";
    int n = 0;
    for (const char* employee : {"bo", "ana", "bo", "ana"})
        queue.enqueueRequestMethod("POST", "/" + QString::number(++n),
                                   {{{"employeeId", employee}, {"jobId", "j"}}});
    EXPECT_TRUE(QTest::qWaitFor([&] { return queue.pendingQueue().size() == 2; }));
    state.tokens[{"bo", "j"}] = "B";
    queue.flushPendingIfOnline();
    EXPECT_TRUE(QTest::qWaitFor([&] { return queue.pendingQueue().isEmpty(); }));
    QStringList sent;
    for (const FakeJsonTransport::Request& request : transport.requests())
        sent.append(request.path + u' ' + request.headers.token);
    EXPECT_EQ(sent, QStringList({"/2 A", "/4 A", "/1 B", "/3 B"}));
}

// An earlier version's queue is sent; a refused report stays in the file, never loaded again.
TEST(OfflineQueue, AFirstVersionsQueueIsSentAndARefusalKeptAside) {
    QTemporaryDir folder;
    const QString path = folder.filePath("q.sqlite3");
    execSql(path, firstQueue.c_str());
    SyncState state;
    state.tokens[{"", ""}] = "T";
    FakeJsonTransport transport;
    transport.answer = [](const FakeJsonTransport::Request& r) {
        return r.path == "/refused" ? JsonReply(422, {}, QJsonObject{{"error", "no"}}) : JsonReply(201);
    };
    FakeWallClock wall;
    {
        OfflineQueue queue(state, transport, wall, path);
        queue.flushPendingIfOnline();
        EXPECT_TRUE(QTest::qWaitFor([&] { return queue.pendingQueue().isEmpty(); }));
    }
    EXPECT_EQ(transport.paths(), QStringList({"/refused", "/taken"}));
    EXPECT_TRUE(QFileInfo::exists(path));
    EXPECT_TRUE(OfflineQueue(state, transport, wall, path).pendingQueue().isEmpty());
}

TEST(OfflineQueue, RetryAfterIsReadInSecondsOrAsADateAndBounded) {
    const QDateTime now(QDate(2024, 3, 5), QTime(9, 0), Qt::UTC);
    const struct {
        qint64 status;
        const char* header;
        std::optional<qint64> seconds;
    } cases[] = {{429, " 7", 7},
                 {503, "Tue, 05 Mar 2024 09:01:30 GMT", 90},
                 {429, "86400", 600},
                 {503, "Tue, 05 Mar 2024 08:00:00 GMT", 0},
                 {429, "soon", std::nullopt},
                 {500, "7", std::nullopt}};
    for (const auto& c : cases) {
        JsonReply reply(c.status);
        reply.retryAfter = c.header;
        const std::optional<std::chrono::seconds> wait = TimeClockWire::retryAfter(reply, now);
        EXPECT_EQ(wait ? std::optional(wait->count()) : std::nullopt, c.seconds) << c.header;
    }
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
