#include "FakeClocks.h"
#include "FakeJsonTransport.h"
#include "OfflineQueue.h"
#include "SyncState.h"
#include "TimeClockApi.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class TimeClockApiTest : public ::testing::Test {
protected:
    TimeClockApiTest() {
        state.employeeId = QStringLiteral("E-17");
        state.jobId = QStringLiteral("J9");
        // 14:07:09.870 UTC: the fraction must not reach the wire.
        wall.instant = QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9, 870), Qt::UTC);
    }

    void answerAll(qint64 status) {
        transport.answer = [status](const FakeJsonTransport::Request&) { return JsonReply{status, {}, {}}; };
    }

    QTemporaryDir dir;
    SyncState state;
    FakeJsonTransport transport;
    FakeWallClock wall;
    OfflineQueue queue{state, transport, dir.filePath("q.sqlite3")};
    TimeClockApi api{state, transport, queue, wall};
};

TEST_F(TimeClockApiTest, EachEventIsPostedWithItsBody) {
    const QDateTime at(QDate(2024, 3, 5), QTime(9, 30, 15, 999), Qt::UTC);
    const struct {
        std::function<void()> call;
        const char* path;
        const char* member;
    } cases[] = {
        {[&] { api.apiClockInAt(at); }, "/api/time/clock-in", "clockIn"},
        {[&] { api.apiClockOutAt(at); }, "/api/time/clock-out", "clockOut"},
        {[&] { api.apiBreakStartAt(at); }, "/api/break/start", "start"},
        {[&] { api.apiBreakStopAt(at); }, "/api/break/stop", "end"},
    };
    for (const auto& c : cases) {
        transport.clear();
        c.call();
        const auto sent = transport.requests();
        ASSERT_EQ(sent.size(), 1u) << c.path;
        EXPECT_EQ(sent[0].method, "POST");
        EXPECT_EQ(sent[0].path, QString::fromLatin1(c.path));
        EXPECT_EQ(sent[0].body(), (QJsonObject{{"employeeId", "E-17"},
                                               {"jobId", "J9"},
                                               {QString::fromLatin1(c.member), "2024-03-05T09:30:15Z"}}));
        EXPECT_EQ(sent[0].idempotencyKey.size(), 36);
    }
    EXPECT_TRUE(queue.pendingQueue().isEmpty());
}

TEST_F(TimeClockApiTest, AnAbsentInstantMeansNow) {
    api.apiBreakStartAt(std::nullopt);
    api.apiTrackInputsFrom(std::nullopt, std::nullopt, 1, 0);
    const auto sent = transport.requests();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].body().value("start"), QJsonValue("2024-03-05T14:07:09Z"));
    EXPECT_EQ(sent[1].body().value("startedAt"), QJsonValue("2024-03-05T14:07:09Z"));
    EXPECT_EQ(sent[1].body().value("endedAt"), QJsonValue("2024-03-05T14:07:09Z"));
}

TEST_F(TimeClockApiTest, InputReportsNeedACountAboveZero) {
    const QDateTime from(QDate(2024, 3, 5), QTime(9, 0), Qt::UTC);
    const QDateTime to(QDate(2024, 3, 5), QTime(9, 10), Qt::UTC);
    const struct {
        qint64 keystrokes, clicks;
        bool sent;
    } cases[] = {{0, 0, false}, {-1, 0, false}, {0, -5, false}, {-2, -2, false},
                 {0, 1, true},  {1, 0, true},   {12, 3, true},  {-1, 4, true}};
    for (const auto& c : cases) {
        transport.clear();
        api.apiTrackInputsFrom(from, to, c.keystrokes, c.clicks);
        ASSERT_EQ(transport.requests().size(), c.sent ? 1u : 0u) << c.keystrokes << "/" << c.clicks;
        if (!c.sent)
            continue;
        const auto request = transport.requests()[0];
        EXPECT_EQ(request.path, "/api/input/track");
        EXPECT_EQ(request.body(), (QJsonObject{{"employeeId", "E-17"},
                                               {"jobId", "J9"},
                                               {"keystrokes", c.keystrokes},
                                               {"clicks", c.clicks},
                                               {"startedAt", "2024-03-05T09:00:00Z"},
                                               {"endedAt", "2024-03-05T09:10:00Z"}}));
    }
    // Offline the same rule decides what is queued.
    state.isOnline = false;
    api.apiTrackInputsFrom(from, to, 0, 0);
    EXPECT_TRUE(queue.pendingQueue().isEmpty());
    api.apiTrackInputsFrom(from, to, 0, 1);
    ASSERT_EQ(queue.pendingQueue().size(), 1);
    EXPECT_EQ(queue.pendingQueue()[0].path, "/api/input/track");
}

TEST_F(TimeClockApiTest, OfflineReportsAreQueuedInOrderAndSentLater) {
    state.isOnline = false;
    api.apiClockInAt(QDateTime(QDate(2024, 3, 5), QTime(8, 0), Qt::UTC));
    api.apiClockOutAt(QDateTime(QDate(2024, 3, 5), QTime(9, 0), Qt::UTC));
    EXPECT_TRUE(transport.requests().empty());
    ASSERT_EQ(queue.pendingQueue().size(), 2);
    EXPECT_EQ(queue.pendingQueue()[0].method, "POST");
    EXPECT_EQ(queue.pendingQueue()[0].path, "/api/time/clock-in");
    EXPECT_EQ(queue.pendingQueue()[0].body,
              (QJsonObject{{"employeeId", "E-17"}, {"jobId", "J9"}, {"clockIn", "2024-03-05T08:00:00Z"}}));

    // Delivered an hour later, the clock-out still carries its own instant.
    wall.instant = wall.instant.addSecs(3600);
    state.isOnline = true;
    queue.flushPendingIfOnline();
    EXPECT_EQ(transport.paths(), (QStringList{"/api/time/clock-in", "/api/time/clock-out"}));
    EXPECT_EQ(transport.requests()[1].body().value("clockOut"), QJsonValue("2024-03-05T09:00:00Z"));
    EXPECT_TRUE(queue.pendingQueue().isEmpty());
}

TEST_F(TimeClockApiTest, AFailedImmediateSendIsQueuedWithItsKey) {
    const struct {
        const char* name;
        JsonReply reply;
    } cases[] = {
        {"server error", {500, {}, {}}},
        {"client error with an object", {400, {}, QJsonObject{{"error", "bad"}}}},
        {"no answer within the wait", {0, {}, {}}},
        {"transport error", {0, QStringLiteral("connection refused"), {}}},
        {"redirect not followed", {302, {}, {}}},
    };
    for (const auto& c : cases) {
        QTemporaryDir own;
        OfflineQueue ownQueue(state, transport, own.filePath("q.sqlite3"));
        TimeClockApi ownApi(state, transport, ownQueue, wall);
        transport.clear();
        transport.answer = [&](const FakeJsonTransport::Request&) { return c.reply; };
        ownApi.apiClockInAt(std::nullopt);
        ASSERT_EQ(ownQueue.pendingQueue().size(), 1) << c.name;
        const auto first = transport.requests().at(0);
        EXPECT_EQ(ownQueue.pendingQueue()[0].idempotencyKey, first.idempotencyKey) << c.name;
        EXPECT_EQ(ownQueue.pendingQueue()[0].body, first.body()) << c.name;

        answerAll(200);
        ownQueue.flushPendingIfOnline();
        ASSERT_EQ(transport.requests().size(), 2u) << c.name;
        EXPECT_EQ(transport.requests()[1].idempotencyKey, first.idempotencyKey) << c.name;
        EXPECT_TRUE(ownQueue.pendingQueue().isEmpty()) << c.name;
    }
}

TEST_F(TimeClockApiTest, ANewReportDoesNotOvertakeQueuedOnes) {
    answerAll(503);
    api.apiBreakStartAt(std::nullopt); // fails, queued
    answerAll(200);
    api.apiBreakStopAt(std::nullopt); // online, but behind the queued start
    EXPECT_EQ(transport.paths(), QStringList{"/api/break/start"});
    ASSERT_EQ(queue.pendingQueue().size(), 2);

    queue.flushPendingIfOnline();
    EXPECT_EQ(transport.paths(), (QStringList{"/api/break/start", "/api/break/start", "/api/break/stop"}));
    EXPECT_TRUE(queue.pendingQueue().isEmpty());

    api.apiClockOutAt(std::nullopt); // an empty queue: sent at once again
    EXPECT_EQ(transport.paths().size(), 4);
    EXPECT_TRUE(queue.pendingQueue().isEmpty());
}

TEST_F(TimeClockApiTest, VerificationNeedsSuccessNoErrorAndOk) {
    const struct {
        const char* name;
        JsonReply reply;
        bool accepted;
    } cases[] = {
        {"ok true", {200, {}, QJsonObject{{"ok", true}}}, true},
        {"ok 1", {200, {}, QJsonObject{{"ok", 1}}}, true},
        {"ok \"yes\"", {200, {}, QJsonObject{{"ok", "yes"}}}, true},
        {"ok false", {200, {}, QJsonObject{{"ok", false}}}, false},
        {"empty object", {200, {}, QJsonObject{}}, false},
        {"no body", {200, {}, {}}, false},
        {"401 with ok true", {401, {}, QJsonObject{{"ok", true}}}, false},
        {"not JSON", {200, QStringLiteral("parse error"), {}}, false},
        {"no answer", {0, {}, {}}, false},
    };
    for (const auto& c : cases) {
        transport.clear();
        transport.answer = [&](const FakeJsonTransport::Request&) { return c.reply; };
        EXPECT_EQ(api.apiVerifyEmployee("E-17", "J9", "pw"), c.accepted) << c.name;
    }
    const auto sent = transport.requests().at(0);
    EXPECT_EQ(sent.method, "POST");
    EXPECT_EQ(sent.path, "/api/users/verify");
    EXPECT_EQ(sent.body(), (QJsonObject{{"employeeId", "E-17"}, {"jobId", "J9"}, {"password", "pw"}}));

    // Never queued, and sent whatever the flag says.
    state.isOnline = false;
    transport.clear();
    answerAll(500);
    EXPECT_FALSE(api.apiVerifyEmployee("E-17", "J9", QString()));
    EXPECT_EQ(transport.requests().at(0).body().value("password"), QJsonValue(""));
    EXPECT_TRUE(queue.pendingQueue().isEmpty());
}

TEST_F(TimeClockApiTest, TheSummaryIsAskedOnlyOnline) {
    transport.answer = [](const FakeJsonTransport::Request&) {
        return JsonReply{500, {}, QJsonObject{{"totalWorkMs", 5}}};
    };
    const QDateTime from(QDate(2024, 3, 4), QTime(22, 0), Qt::UTC);
    EXPECT_EQ(api.timeSummaryFrom(from, std::nullopt), (QJsonObject{{"totalWorkMs", 5}}));
    const auto sent = transport.requests().at(0);
    EXPECT_EQ(sent.method, "GET");
    EXPECT_FALSE(sent.json);
    EXPECT_TRUE(sent.idempotencyKey.isEmpty());
    EXPECT_EQ(sent.path, "/api/time/summary?employeeId=E-17&jobId=J9"
                         "&from=2024-03-04T22%3A00%3A00Z&to=2024-03-05T14%3A07%3A09Z");

    transport.clear();
    state.employeeId.reset();
    api.timeSummaryFrom(std::nullopt, std::nullopt);
    EXPECT_EQ(transport.requests().at(0).path, "/api/time/summary?employeeId=&jobId=J9"
                                               "&from=1970-01-01T00%3A00%3A00Z&to=2024-03-05T14%3A07%3A09Z");

    transport.clear();
    state.isOnline = false;
    EXPECT_FALSE(api.timeSummaryFrom(from, std::nullopt));
    EXPECT_TRUE(transport.requests().empty());
    EXPECT_TRUE(queue.pendingQueue().isEmpty());
}

} // namespace
