#include "QtPrinters.h"
#include "TimeClockWire.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QStringList>

#include <gtest/gtest.h>

using TimeClockWire::Event;

namespace {

SyncState signedIn() {
    SyncState state;
    state.employeeId = QStringLiteral("E-17");
    state.jobId = QStringLiteral("J9");
    return state;
}

TEST(TimeClockWire, AbsentIdsAreSentAsEmptyStrings) {
    SyncState signedOut; // employeeId absent, jobId ""
    const QJsonObject event = TimeClockWire::eventBody(Event::ClockOut, signedOut, "2024-03-05T14:07:09Z");
    EXPECT_EQ(event.value("employeeId"), QJsonValue(""));
    EXPECT_EQ(event.value("jobId"), QJsonValue(""));

    const QJsonObject verification = TimeClockWire::verificationBody("E-17", "J9", QString());
    EXPECT_EQ(verification, (QJsonObject{{"employeeId", "E-17"}, {"jobId", "J9"}, {"password", ""}}));
    EXPECT_EQ(TimeClockWire::verificationBody(QString(), QString(), QString()),
              (QJsonObject{{"employeeId", ""}, {"jobId", ""}, {"password", ""}}));
}

TEST(TimeClockWire, InputBodyCarriesIntegerCounts) {
    const QJsonObject body = TimeClockWire::inputBody(signedIn(), "2024-03-05T09:00:00Z",
                                                      "2024-03-05T09:10:00Z", 9'007'199'254'740'993LL, 2);
    EXPECT_EQ(body.size(), 6);
    EXPECT_EQ(body.value("employeeId"), QJsonValue("E-17"));
    EXPECT_EQ(body.value("jobId"), QJsonValue("J9"));
    EXPECT_EQ(body.value("startedAt"), QJsonValue("2024-03-05T09:00:00Z"));
    EXPECT_EQ(body.value("endedAt"), QJsonValue("2024-03-05T09:10:00Z"));
    // Beyond 2^53 a double would lose the last digit; the wire must carry the exact integer.
    const QByteArray json = QJsonDocument(body).toJson(QJsonDocument::Compact);
    EXPECT_TRUE(json.contains("\"keystrokes\":9007199254740993")) << json.constData();
    EXPECT_TRUE(json.contains("\"clicks\":2,")) << json.constData();
}

TEST(TimeClockWire, OkReadsLikeABoolean) {
    const struct {
        QJsonValue ok;
        bool accepted;
    } cases[] = {
        {true, true},
        {false, false},
        {1, true},
        {0, false},
        {-3, true},
        {0.5, true},
        {0.0, false},
        {"true", true},
        {"Yes", true},
        {"  t", true},
        {"\t+0007", true},
        {"-1", true},
        {"0", false},
        {"000", false},
        {"+0", false},
        {"false", false},
        {"no", false},
        {"", false},
        {" ", false},
        {"x1", false},
        {"0x1", false},
        {QJsonValue::Null, false},
        {QJsonArray{true}, false},
        {QJsonObject{{"ok", true}}, false},
    };
    for (const auto& c : cases) {
        const QJsonObject answer{{"ok", c.ok}};
        EXPECT_EQ(TimeClockWire::verificationAccepted(answer), c.accepted)
            << QJsonDocument(answer).toJson(QJsonDocument::Compact).constData();
    }
    EXPECT_FALSE(TimeClockWire::verificationAccepted(QJsonObject{}));
    EXPECT_FALSE(TimeClockWire::verificationAccepted(std::nullopt));
}

TEST(TimeClockWire, QueryValuesEncodeEverythingButUnreserved) {
    const struct {
        QString value;
        const char* encoded;
    } cases[] = {
        {"AZaz09-._~", "AZaz09-._~"},
        {"a b", "a%20b"},
        {"a&b=c", "a%26b%3Dc"},
        {"1+1?", "1%2B1%3F"},
        {"50%", "50%25"},
        {"/:@!$'()*,;", "%2F%3A%40%21%24%27%28%29%2A%2C%3B"},
        {"2024-03-05T14:07:09Z", "2024-03-05T14%3A07%3A09Z"},
        {QString::fromUtf8("Jürgen €"), "J%C3%BCrgen%20%E2%82%AC"},
        {"", ""},
        {QString(), ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TimeClockWire::encodeQueryValue(c.value), QString::fromLatin1(c.encoded)) << c.encoded;
}

TEST(TimeClockWire, SummaryPathCannotBeSplitByItsValues) {
    const QString path =
        TimeClockWire::summaryPath("a&jobId=x", "%1", "2024-03-04T22:00:00Z", "2024-03-05T10:00:00Z");
    EXPECT_EQ(path, "/api/time/summary?employeeId=a%26jobId%3Dx&jobId=%251"
                    "&from=2024-03-04T22%3A00%3A00Z&to=2024-03-05T10%3A00%3A00Z");
    EXPECT_EQ(path.count('&'), 3);
}

} // namespace
