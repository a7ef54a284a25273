// A queue written by a process that is killed with SIGKILL is found whole by the next launch,
// which sends it in order, each request with its own key.
#include "FakeJsonTransport.h"
#include "HttpTransport.h"
#include "LocalHttpServer.h"
#include "OfflineQueue.h"
#include "SyncState.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

using namespace std::chrono_literals;

namespace {

const char* const childFlag = "--enqueue-until-killed";

// This process does not link SQLite: the queue loads it while it has a database open.
bool sqliteMapped() {
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libsqlite3");
}

// The child: enqueues numbered reports without end, confirming each once enqueueRequestMethod
// has returned.
int enqueueUntilKilled(const QString& dbPath) {
    SyncState state;
    state.isOnline = false;
    FakeJsonTransport transport;
    OfflineQueue queue(state, transport, dbPath);
    for (int n = 0; n < 1'000'000; ++n) {
        queue.enqueueRequestMethod("POST", "/api/time/clock-in", QJsonObject{{"n", n}},
                                   QByteArray("key-") + QByteArray::number(n));
        std::printf("%d\n", n);
        std::fflush(stdout);
    }
    return 0;
}

TEST(QueueSurvivesKill, AKilledWritersQueueIsLoadedAndFlushedInOrder) {
    QTemporaryDir dir;
    const QString dbPath = dir.filePath("data/offline-queue.sqlite3");

    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(childFlag), dbPath});
    ASSERT_TRUE(child.waitForStarted(5000));
    int confirmed = -1;
    while (confirmed < 40) {
        if (!child.canReadLine() && !child.waitForReadyRead(10000))
            FAIL() << "the child stopped confirming";
        while (child.canReadLine())
            confirmed = child.readLine().trimmed().toInt();
    }
    child.kill(); // SIGKILL, in the middle of its next write
    ASSERT_TRUE(child.waitForFinished(5000));
    ASSERT_EQ(child.exitStatus(), QProcess::CrashExit);
    while (child.canReadLine())
        confirmed = child.readLine().trimmed().toInt();

    LocalHttpServer server;
    HttpTransport transport(server.baseUrl());
    SyncState state;
    OfflineQueue queue(state, transport, dbPath);
    EXPECT_FALSE(QFileInfo::exists(dbPath + ".unreadable-1"));
    const QList<QueuedRequest>& pending = queue.pendingQueue();
    // Every confirmed report is there; the one being written when the kill came may be too.
    ASSERT_GE(pending.size(), confirmed + 1);
    ASSERT_LE(pending.size(), confirmed + 2);
    for (int n = 0; n < pending.size(); ++n) {
        ASSERT_EQ(pending[n].body.value("n").toInt(-1), n);
        ASSERT_EQ(pending[n].idempotencyKey, QByteArray("key-") + QByteArray::number(n));
    }
    const auto count = static_cast<std::size_t>(pending.size());

    queue.flushPendingIfOnline();
    EXPECT_TRUE(queue.pendingQueue().isEmpty());
    const auto received = server.received();
    ASSERT_EQ(received.size(), count);
    for (std::size_t n = 0; n < count; ++n) {
        EXPECT_EQ(received[n].method, "POST");
        EXPECT_EQ(received[n].path, "/api/time/clock-in");
        EXPECT_EQ(received[n].body, "{\"n\":" + std::to_string(n) + "}");
        EXPECT_EQ(received[n].idempotencyKey, "key-" + std::to_string(n));
    }
    EXPECT_TRUE(OfflineQueue(state, transport, dbPath).pendingQueue().isEmpty());

    // Emptied, the queue let go of its file and of SQLite; the next report brings both back.
    EXPECT_FALSE(QFileInfo::exists(dbPath));
    EXPECT_FALSE(sqliteMapped());
    state.isOnline = false;
    queue.enqueueRequestMethod("POST", "/api/time/clock-out", QJsonObject{});
    EXPECT_TRUE(sqliteMapped());
    EXPECT_EQ(OfflineQueue(state, transport, dbPath).pendingQueue().size(), 1);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc == 3 && std::strcmp(argv[1], childFlag) == 0)
        return enqueueUntilKilled(QString::fromLocal8Bit(argv[2]));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
