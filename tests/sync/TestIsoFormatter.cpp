#include "IsoFormatter.h"
#include "QtPrinters.h"

#include <QTimeZone>

#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <vector>

namespace {

QDateTime utc(int y, int mo, int d, int h, int mi, int s, int ms = 0) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms), Qt::UTC);
}

TEST(IsoFormatter, WritesUtcSecondsWithTheFractionTruncated) {
    const struct {
        const char* name;
        QDateTime instant;
        const char* text;
    } cases[] = {
        {"fraction dropped", utc(2024, 3, 5, 14, 7, 9, 870), "2024-03-05T14:07:09Z"},
        {"last millisecond of the year", utc(2023, 12, 31, 23, 59, 59, 999), "2023-12-31T23:59:59Z"},
        {"midnight", utc(2024, 1, 1, 0, 0, 0), "2024-01-01T00:00:00Z"},
        {"leap day", utc(2024, 2, 29, 12, 0, 0, 1), "2024-02-29T12:00:00Z"},
        {"epoch", QDateTime::fromSecsSinceEpoch(0, Qt::UTC), "1970-01-01T00:00:00Z"},
        {"before the epoch the fraction goes to the past", QDateTime::fromMSecsSinceEpoch(-500, Qt::UTC),
         "1969-12-31T23:59:59Z"},
        {"four-digit small year", utc(999, 1, 2, 3, 4, 5), "0999-01-02T03:04:05Z"},
        {"offset zone is converted", QDateTime(QDate(2024, 3, 5), QTime(0, 30, 0, 999), QTimeZone(2 * 3600)),
         "2024-03-04T22:30:00Z"},
        {"local time is converted", utc(2024, 7, 1, 8, 0, 0).toLocalTime(), "2024-07-01T08:00:00Z"},
        {"invalid date", QDateTime(), ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(isoFormatter().stringFromDate(c.instant), QString::fromLatin1(c.text)) << c.name;
}

TEST(IsoFormatter, ConcurrentFirstCallsShareOneInstance) {
    std::vector<const IsoFormatter*> seen(8);
    std::vector<QString> texts(8);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < seen.size(); ++i) {
        threads.emplace_back([&, i] {
            seen[i] = &isoFormatter();
            texts[i] = seen[i]->stringFromDate(utc(2024, 3, 5, 14, 7, 9, int(i)));
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(std::set<const IsoFormatter*>(seen.begin(), seen.end()).size(), 1u);
    for (const QString& text : texts)
        EXPECT_EQ(text, "2024-03-05T14:07:09Z");
}

} // namespace
