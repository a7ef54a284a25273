#include "FakeClocks.h"
#include "FakeJsonTransport.h"
#include "OfflineQueue.h"
#include "SyncState.h"
#include "TimeClockApi.h"
#include "TodayTotal.h"
#include "TotalView.h"

#include <QJsonArray>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

struct RecordingTotalView final : TotalView {
    void setTotalText(const QString& t) override {
        text = t;
        ++writes;
    }
    QString text = QStringLiteral("Total today: 00:00:00");
    int writes = 0;
};

TEST(TodayTotalText, RoundsHalvesAwayFromZero) {
    const struct {
        QJsonValue ms;
        const char* text;
    } cases[] = {
        {0, "Total today: 00:00:00"},
        {3'723'000, "Total today: 01:02:03"},
        {90'000'000, "Total today: 25:00:00"},
        {999, "Total today: 00:00:01"},
        {499, "Total today: 00:00:00"},
        {500, "Total today: 00:00:01"},
        {1500, "Total today: 00:00:02"},
        {1499, "Total today: 00:00:01"},
        {3'599'500, "Total today: 01:00:00"},
        {1499.9, "Total today: 00:00:01"}, // truncated to 1499 ms first
        {360'000'000'000'000.0, "Total today: 100000000:00:00"},
        {-1500, "Total today: 00:00:00"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TodayTotal::totalText(QJsonObject{{"totalWorkMs", c.ms}}), QString::fromLatin1(c.text))
            << c.text;
}

TEST(TodayTotalText, OnlyANumberIsShown) {
    const QJsonValue cases[] = {"3723000", true,  QJsonValue::Null, QJsonArray{1}, QJsonObject{},
                                1e300,     -1e300};
    for (const QJsonValue& v : cases)
        EXPECT_FALSE(TodayTotal::totalText(QJsonObject{{"totalWorkMs", v}}));
    EXPECT_FALSE(TodayTotal::totalText(QJsonObject{{"totalWorkMS", 1000}}));
}

TEST(TodayTotalDay, StartsAtTheLocalDaysFirstInstant) {
    const struct {
        const char* zone;
        QDateTime now;
        QDateTime start;
    } cases[] = {
        {"UTC", QDateTime(QDate(2024, 3, 5), QTime(14, 7), Qt::UTC),
         QDateTime(QDate(2024, 3, 5), QTime(0, 0), Qt::UTC)},
        // UTC+2: the day of 5 March began at 22:00 UTC on the 4th.
        {"Europe/Helsinki", QDateTime(QDate(2024, 3, 5), QTime(10, 0), Qt::UTC),
         QDateTime(QDate(2024, 3, 4), QTime(22, 0), Qt::UTC)},
        {"Europe/Helsinki", QDateTime(QDate(2024, 3, 4), QTime(22, 30), Qt::UTC),
         QDateTime(QDate(2024, 3, 4), QTime(22, 0), Qt::UTC)},
        {"America/New_York", QDateTime(QDate(2024, 3, 5), QTime(3, 0), Qt::UTC),
         QDateTime(QDate(2024, 3, 4), QTime(5, 0), Qt::UTC)},
        // Clocks went from 00:00 to 01:00 at the start of this day: it began at 01:00 local.
        {"America/Santiago", QDateTime(QDate(2024, 9, 8), QTime(15, 0), Qt::UTC),
         QDateTime(QDate(2024, 9, 8), QTime(4, 0), Qt::UTC)},
    };
    const bool wasSet = qEnvironmentVariableIsSet("TZ");
    const QByteArray previous = qgetenv("TZ");
    for (const auto& c : cases) {
        qputenv("TZ", c.zone);
        EXPECT_EQ(TodayTotal::startOfLocalDayContaining(c.now).toMSecsSinceEpoch(),
                  c.start.toMSecsSinceEpoch())
            << c.zone << " " << c.now.toString(Qt::ISODate).toStdString();
    }
    if (wasSet)
        qputenv("TZ", previous);
    else
        qunsetenv("TZ");
}

class TodayTotalTest : public ::testing::Test {
protected:
    TodayTotalTest() {
        state.employeeId = QStringLiteral("E 17");
        state.jobId = QStringLiteral("J&9");
        wall.instant = QDateTime(QDate(2024, 3, 5), QTime(10, 0), Qt::UTC);
        total.setView(&view);
        answer(QJsonObject{{"totalWorkMs", 3'723'000}});
    }
    void answer(std::optional<QJsonObject> result, qint64 status = 200) {
        transport.answer = [=](const FakeJsonTransport::Request&) { return JsonReply{status, {}, result}; };
    }

    QTemporaryDir dir;
    SyncState state;
    FakeJsonTransport transport;
    FakeWallClock wall;
    OfflineQueue queue{state, transport, dir.filePath("q.sqlite3")};
    TimeClockApi api{state, transport, queue, wall};
    TodayTotal total{state, api, wall};
    RecordingTotalView view;
};

TEST_F(TodayTotalTest, AsksFromTheStartOfTheLocalDayToNow) {
    // The test runs with TZ set to a zone at UTC+2 in March.
    EXPECT_EQ(total.startOfToday().toMSecsSinceEpoch(),
              QDateTime(QDate(2024, 3, 4), QTime(22, 0), Qt::UTC).toMSecsSinceEpoch());
    total.refreshTotalToday();
    ASSERT_EQ(transport.requests().size(), 1u);
    EXPECT_EQ(transport.requests()[0].path, "/api/time/summary?employeeId=E%2017&jobId=J%269"
                                            "&from=2024-03-04T22%3A00%3A00Z&to=2024-03-05T10%3A00%3A00Z");
    EXPECT_EQ(view.text, "Total today: 01:02:03");
}

TEST_F(TodayTotalTest, ASecondRefreshWithin15SecondsSendsNothing) {
    total.refreshTotalToday();
    wall.instant = wall.instant.addSecs(10);
    total.refreshTotalToday();
    EXPECT_EQ(transport.requests().size(), 1u);
    wall.instant = wall.instant.addSecs(5);
    total.refreshTotalToday();
    EXPECT_EQ(transport.requests().size(), 2u);
}

TEST_F(TodayTotalTest, AFailedRefreshAlsoStartsTheInterval) {
    answer(std::nullopt, 0);
    total.refreshTotalToday();
    EXPECT_EQ(total.lastTotalRefresh, wall.instant);
    wall.instant = wall.instant.addSecs(14);
    answer(QJsonObject{{"totalWorkMs", 1000}});
    total.refreshTotalToday();
    EXPECT_EQ(transport.requests().size(), 1u);
    EXPECT_EQ(view.writes, 0);
}

TEST_F(TodayTotalTest, NothingHappensOfflineOrSignedOut) {
    state.isOnline = false;
    total.refreshTotalToday();
    state.isOnline = true;
    state.employeeId = QString();
    total.refreshTotalToday();
    state.employeeId.reset();
    total.refreshTotalToday();
    EXPECT_TRUE(transport.requests().empty());
    EXPECT_FALSE(total.lastTotalRefresh);
    EXPECT_EQ(view.writes, 0);
}

TEST_F(TodayTotalTest, TheLabelKeepsItsTextUnlessANumberCame) {
    const struct {
        const char* name;
        std::optional<QJsonObject> result;
        qint64 status;
        const char* text;
    } cases[] = {
        {"no answer", std::nullopt, 0, "Total today: 00:10:00"},
        {"string", QJsonObject{{"totalWorkMs", "3723000"}}, 200, "Total today: 00:10:00"},
        {"missing", QJsonObject{{"total", 5}}, 200, "Total today: 00:10:00"},
        {"error status with a number", QJsonObject{{"totalWorkMs", 7'200'000}}, 500, "Total today: 02:00:00"},
    };
    for (const auto& c : cases) {
        view.text = QStringLiteral("Total today: 00:10:00");
        answer(c.result, c.status);
        wall.instant = wall.instant.addSecs(15);
        total.refreshTotalToday();
        EXPECT_EQ(view.text, QString::fromLatin1(c.text)) << c.name;
    }
}

} // namespace
