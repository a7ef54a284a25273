#include "LeadingInteger.h"
#include "QtPrinters.h"
#include "SessionTexts.h"

#include <gtest/gtest.h>

using namespace SessionTexts;

TEST(DurationText, FormatsHoursMinutesSecondsWithoutWrapping) {
    const struct {
        qint64 seconds;
        const char* text;
    } cases[] = {
        {0, "00:00:00"},     {59, "00:00:59"},
        {3725, "01:02:05"},  {86399, "23:59:59"},
        {90000, "25:00:00"}, {360000, "100:00:00"},
        {-5, "00:00:00"},    {3600LL * 999999999, "999999999:00:00"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(durationText(c.seconds), QString::fromLatin1(c.text)) << c.seconds;
}

TEST(DurationText, IsCutAtFifteenCharacters) {
    // Ten-digit hours no longer fit: the text is cut, never overflowing.
    const QString text = durationText(3600LL * 1234567890 + 61);
    EXPECT_EQ(text.size(), 15);
    EXPECT_EQ(text, QStringLiteral("1234567890:01:0"));
}

TEST(StatusTexts, LinesReadAsTheWindowShowsThem) {
    EXPECT_EQ(workText(3725), QStringLiteral("Work: 01:02:05"));
    EXPECT_EQ(breaksText(0, 0), QStringLiteral("Breaks: 0 (00:00:00)"));
    EXPECT_EQ(breaksText(2, 70), QStringLiteral("Breaks: 2 (00:01:10)"));
    EXPECT_EQ(inputsText(0, 0), QStringLiteral("Inputs: Keys 0, Clicks 0"));
    EXPECT_EQ(inputsText(12345678901, 7), QStringLiteral("Inputs: Keys 12345678901, Clicks 7"));
}

TEST(StatusTexts, StatusRowByModeAndAutoPause) {
    const QString clockIn = "Clock In", clockOut = "Clock Out";
    EXPECT_EQ(statusRow(0, false), (StatusRow{"Status: Clocked out", clockIn, false, std::nullopt}));
    EXPECT_EQ(statusRow(0, true), (StatusRow{"Status: Clocked out", clockIn, false, std::nullopt}));
    EXPECT_EQ(statusRow(1, false), (StatusRow{"Status: Working", clockOut, true, QString("Pause")}));
    EXPECT_EQ(statusRow(1, true), (StatusRow{"Status: Auto-paused", clockOut, true, QString("Pause")}));
    EXPECT_EQ(statusRow(2, false), (StatusRow{"Status: Paused", clockOut, true, QString("Resume")}));
    EXPECT_EQ(statusRow(2, true), (StatusRow{"Status: Auto-paused", clockOut, true, QString("Resume")}));
}

TEST(LeadingInteger, ReadsLikeStrtolAndSaturates) {
    const struct {
        const char* text;
        qint64 value;
    } cases[] = {
        {"12", 12},
        {"  7", 7},
        {"+4", 4},
        {"-5", -5},
        {"12abc", 12},
        {"2.9", 2},
        {"abc", 0},
        {"", 0},
        {" - 3", 0},
        {"\t\n15 min", 15},
        {"0", 0},
        {"500", 500},
        {"99999999999999999999999", std::numeric_limits<qint64>::max()},
    };
    for (const auto& c : cases)
        EXPECT_EQ(leadingInteger(QString::fromLatin1(c.text)), c.value) << c.text;
}
