// The client's sync logic on fakes and files in temporary folders: the queue file, today's total
// and the connectivity poll. Delivery itself (order, keys, retries, statuses, late answers) is the
// fault table's, through the real transport.
#include "ConnectivityMonitor.h"
#include "FakeClocks.h"
#include "FakeJsonTransport.h"
#include "ModalGate.h"
#include "OfflineQueue.h"
#include "ProbeAddresses.h"
#include "SyncState.h"
#include "TimeClockApi.h"
#include "TimeClockWire.h"
#include "TodayTotal.h"
#include "TotalView.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <sqlite3.h>

namespace {

struct Sync {
    QString path() const { return folder.filePath("q.sqlite3"); }
    OfflineQueue reopen() { return OfflineQueue(state, transport, wall, path()); }

    QTemporaryDir folder;
    SyncState state;
    FakeJsonTransport transport;
    FakeWallClock wall;
};

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
        QByteArray bytes; // written as they are, unless there is SQL to run; neither: a folder
        std::string sql;
    } cases[] = {
        {"not a database", QByteArray(8192, 'x'), {}},
        {"SQLite's header over garbage", QByteArray("SQLite format 3\0", 16) + QByteArray(4096, '\xff'), {}},
        {"a folder", {}, {}},
        {"another program's database", {}, "CREATE TABLE other (x INTEGER)"},
        {"a newer queue", {}, firstQueue + "; PRAGMA user_version=99"},
    };
    for (const auto& c : cases) {
        Sync sync;
        QFile file(sync.path());
        if (!c.sql.empty())
            execSql(sync.path(), c.sql.c_str());
        else if (c.bytes.isEmpty())
            QDir().mkpath(sync.path());
        else
            ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(c.bytes) == c.bytes.size() &&
                        file.flush());
        const qint64 size = QFileInfo(sync.path()).size();
        OfflineQueue queue = sync.reopen();
        EXPECT_TRUE(queue.pendingQueue().isEmpty()) << c.name;
        const QFileInfo aside(sync.path() + ".unreadable-1");
        EXPECT_TRUE(aside.exists() && aside.size() == size) << c.name;
        queue.enqueueRequestMethod("POST", "/api/time/clock-in", QJsonObject{});
        ASSERT_EQ(sync.reopen().pendingQueue().size(), 1) << c.name;
    }
}

// Each employee's and job's reports go in order with their own token, once it has signed in
// during this run; the others' wait, holding nobody up.
TEST(OfflineQueue, ReportsGoWithTheirOwnersTokenOnceTheOwnerSignedIn) {
    Sync sync;
    OfflineQueue queue = sync.reopen();
    sync.state.tokens[{"ana", "j"}] = "A";
    int n = 0;
    for (const char* employee : {"bo", "ana", "bo", "ana"})
        queue.enqueueRequestMethod("POST", "/" + QString::number(++n),
                                   {{{"employeeId", employee}, {"jobId", "j"}}});
    EXPECT_TRUE(QTest::qWaitFor([&] { return queue.pendingQueue().size() == 2; }));
    sync.state.tokens[{"bo", "j"}] = "B";
    queue.flushPendingIfOnline();
    EXPECT_TRUE(QTest::qWaitFor([&] { return queue.pendingQueue().isEmpty(); }));
    QStringList sent;
    for (const FakeJsonTransport::Request& request : sync.transport.requests())
        sent.append(request.path + u' ' + request.headers.token);
    EXPECT_EQ(sent, QStringList({"/2 A", "/4 A", "/1 B", "/3 B"}));
}

// An earlier version's queue is sent; a refused report stays in the file, never loaded again.
TEST(OfflineQueue, AFirstVersionsQueueIsSentAndARefusalKeptAside) {
    Sync sync;
    execSql(sync.path(), firstQueue.c_str());
    sync.state.tokens[{"", ""}] = "T";
    sync.transport.answer = [](const FakeJsonTransport::Request& r) {
        return r.path == "/refused" ? JsonReply(422, {}, QJsonObject{{"error", "no"}}) : JsonReply(201);
    };
    {
        OfflineQueue queue = sync.reopen();
        queue.flushPendingIfOnline();
        EXPECT_TRUE(QTest::qWaitFor([&] { return queue.pendingQueue().isEmpty(); }));
    }
    EXPECT_EQ(sync.transport.paths(), QStringList({"/refused", "/taken"}));
    EXPECT_TRUE(QFileInfo::exists(sync.path()));
    EXPECT_TRUE(sync.reopen().pendingQueue().isEmpty());
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

struct Label final : TotalView {
    void setTotalText(const QString& shown) override { text = shown; }
    QString text = QStringLiteral("Total today: 00:00:07");
};

// The summary asked from the start of the local day to now (the fault table's is at UTC+2, with
// every value encoded), and the milliseconds answered shown in whole seconds, halves away from zero.
TEST(TodayTotal, AsksForTheLocalDayAndShowsWholeSeconds) {
    const auto utc = [](int month, int day, int hour) {
        return QDateTime(QDate(2024, month, day), QTime(hour, 0), Qt::UTC);
    };
    const struct {
        const char* zone;
        QDateTime now;
        QJsonValue totalWorkMs;
        const char* range; // nullptr: not checked
        const char* text;
    } cases[] = {
        // At 22:00 on 4 March in New York: the local day is the 4th.
        {"America/New_York", utc(3, 5, 3), 90'000'000,
         "from=2024-03-04T05%3A00%3A00Z&to=2024-03-05T03%3A00%3A00Z", "25:00:00"},
        // The clocks went from 00:00 to 01:00 as this day began: it began at 01:00 local time.
        {"America/Santiago", utc(9, 8, 15), 1500, "from=2024-09-08T04%3A00%3A00Z&to=2024-09-08T15%3A00%3A00Z",
         "00:00:02"},
        {"UTC", utc(3, 5, 9), 3'723'000, nullptr, "01:02:03"},
        {"UTC", utc(3, 5, 9), 1499.9, nullptr, "00:00:01"},
        {"UTC", utc(3, 5, 9), 999, nullptr, "00:00:01"},
        {"UTC", utc(3, 5, 9), 499, nullptr, "00:00:00"},
        {"UTC", utc(3, 5, 9), "3723000", nullptr, "00:00:07"}, // not a number: unchanged
    };
    const QByteArray zone = qgetenv("TZ");
    for (const auto& c : cases) {
        qputenv("TZ", c.zone);
        Sync sync;
        sync.state.employeeId = QStringLiteral("e1");
        sync.state.jobId = QStringLiteral("j");
        sync.transport.answer = [&](const FakeJsonTransport::Request&) {
            return JsonReply{200, {}, QJsonObject{{"totalWorkMs", c.totalWorkMs}}};
        };
        sync.wall.instant = c.now;
        OfflineQueue queue = sync.reopen();
        TimeClockApi api(sync.state, sync.transport, queue, sync.wall);
        TodayTotal total(sync.state, api, sync.wall);
        Label label;
        total.setView(&label);
        total.refreshTotalToday();
        QCoreApplication::processEvents();

        ASSERT_EQ(sync.transport.requests().size(), 1u) << c.zone << ' ' << c.text;
        EXPECT_EQ(sync.transport.requests()[0].method, "GET");
        if (c.range) {
            EXPECT_EQ(sync.transport.paths()[0],
                      "/api/time/summary?employeeId=e1&jobId=j&" + QString(c.range));
        }
        EXPECT_EQ(label.text, QStringLiteral("Total today: ") + c.text) << c.zone;
    }
    qputenv("TZ", zone);
}

// Qt delivers timers inside a dialog's nested loop: polls are dropped while one is open. (The
// timer's own polls, the first at once, the banner and the flush only while online are the
// fault table's.)
TEST(ConnectivityMonitor, NoPollWhileADialogIsOpen) {
    Sync sync;
    OfflineQueue queue = sync.reopen();
    auto owned = std::make_unique<FakeReachability>();
    const FakeReachability* reachability = owned.get();
    ConnectivityMonitor monitor(sync.state, queue, std::move(owned),
                                std::make_unique<ProbeAddresses>("192.0.2.10"));
    ModalGate modal;
    monitor.setModalGate(&modal);
    monitor.setUp();
    const auto pollsOnTimeout = [&] {
        const int before = reachability->reads;
        QMetaObject::invokeMethod(monitor.findChild<QTimer*>(), "timeout");
        return reachability->reads - before;
    };
    {
        ModalScope dialog(modal);
        EXPECT_EQ(pollsOnTimeout(), 0);
    }
    EXPECT_EQ(pollsOnTimeout(), 1);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
