// Today's total, from the refresh at sign-in to the label: the summary asked from the start of
// the local day to now, each value encoded on its own, and the milliseconds answered shown in
// whole seconds, halves away from zero.
#include "FakeClocks.h"
#include "FakeJsonTransport.h"
#include "OfflineQueue.h"
#include "SyncState.h"
#include "TimeClockApi.h"
#include "TodayTotal.h"
#include "TotalView.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct Label final : TotalView {
    void setTotalText(const QString& shown) override { text = shown; }
    QString text = QStringLiteral("Total today: 00:00:00");
};

QDateTime utc(int month, int day, int hour, int minute) {
    return QDateTime(QDate(2024, month, day), QTime(hour, minute), Qt::UTC);
}

TEST(TodayTotal, AsksForTheLocalDayAndShowsWholeSeconds) {
    const struct {
        const char* zone;
        QDateTime now;
        const char* employee;
        QJsonValue totalWorkMs;
        const char* query; // after "employeeId="
        const char* text;
    } cases[] = {
        {"UTC", utc(3, 5, 14, 7), "e1", 0,
         "e1&jobId=J%269&from=2024-03-05T00%3A00%3A00Z&to=2024-03-05T14%3A07%3A00Z", "00:00:00"},
        // UTC+2: the day of 5 March began at 22:00 UTC on the 4th.
        {"Europe/Helsinki", utc(3, 5, 10, 0), "E 17+x", 3'723'000,
         "E%2017%2Bx&jobId=J%269&from=2024-03-04T22%3A00%3A00Z&to=2024-03-05T10%3A00%3A00Z", "01:02:03"},
        {"America/New_York", utc(3, 5, 3, 0), "a/b=c", 90'000'000,
         "a%2Fb%3Dc&jobId=J%269&from=2024-03-04T05%3A00%3A00Z&to=2024-03-05T03%3A00%3A00Z", "25:00:00"},
        // The clocks went from 00:00 to 01:00 as this day began: it began at 01:00 local time.
        {"America/Santiago", utc(9, 8, 15, 0), "Émile", 1500,
         "%C3%89mile&jobId=J%269&from=2024-09-08T04%3A00%3A00Z&to=2024-09-08T15%3A00%3A00Z", "00:00:02"},
        {"UTC", utc(3, 5, 9, 0), "e1", 1499.9, nullptr, "00:00:01"},
        {"UTC", utc(3, 5, 9, 0), "e1", 999, nullptr, "00:00:01"},
        {"UTC", utc(3, 5, 9, 0), "e1", 499, nullptr, "00:00:00"},
        {"UTC", utc(3, 5, 9, 0), "e1", "3723000", nullptr, "00:00:07"}, // not a number: unchanged
    };
    const QByteArray zone = qgetenv("TZ");
    for (const auto& c : cases) {
        qputenv("TZ", c.zone);
        QTemporaryDir folder;
        SyncState state;
        state.employeeId = QString::fromUtf8(c.employee);
        state.jobId = QStringLiteral("J&9");
        FakeJsonTransport transport;
        transport.answer = [&](const FakeJsonTransport::Request&) {
            return JsonReply{200, {}, QJsonObject{{"totalWorkMs", c.totalWorkMs}}};
        };
        FakeWallClock wall;
        wall.instant = c.now;
        OfflineQueue queue(state, transport, wall, folder.filePath("q.sqlite3"));
        TimeClockApi api(state, transport, queue, wall);
        TodayTotal total(state, api, wall);
        Label label;
        label.text = QStringLiteral("Total today: 00:00:07");
        total.setView(&label);
        total.refreshTotalToday();
        QCoreApplication::processEvents();

        ASSERT_EQ(transport.requests().size(), 1u) << c.zone << ' ' << c.text;
        EXPECT_EQ(transport.requests()[0].method, "GET");
        if (c.query) {
            EXPECT_EQ(transport.requests()[0].path,
                      QStringLiteral("/api/time/summary?employeeId=") + c.query);
        }
        EXPECT_EQ(label.text, QStringLiteral("Total today: ") + c.text) << c.zone << ' ' << c.employee;
    }
    qputenv("TZ", zone);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
