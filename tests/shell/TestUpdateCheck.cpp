#include "JsonTransport.h"
#include "QtPrinters.h"
#include "ScriptedAlerts.h"
#include "UpdateCheck.h"
#include "UpdateChecker.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

using namespace UpdateCheck;

namespace {

QJsonValue str(const char* s) {
    return QJsonValue(QString::fromUtf8(s));
}

TEST(UpdateCheck, OwnVersionFallsBackWhenEmpty) {
    EXPECT_EQ(currentAppVersion(QString()), "1.0.0");
    EXPECT_EQ(currentAppVersion(QStringLiteral("2.3.4")), "2.3.4");
    EXPECT_EQ(currentAppVersion(), "1.0.0"); // the project's version
}

TEST(UpdateCheck, VersionComparisonTable) {
    const struct {
        QJsonValue candidate;
        QJsonValue reference;
        bool newer;
    } cases[] = {
        {str("1.10"), str("1.9"), true},
        {str("1.2"), str("1.2.0"), false},
        {str("1.2.0"), str("1.2"), false},
        {str("v2.0"), str("1.9.9"), true},
        {str("V2.0"), str("1.9.9"), true},
        {str("  v2.0\n"), str("1.9.9"), true},
        {str("vv2.0"), str("1.9.9"), false}, // only one "v" is dropped
        {str("2.0-beta"), str("2.0"), false},
        {str("2.1-beta"), str("2.0"), true},
        {str("abc"), str("1.0"), false},
        {str(""), str("1.0"), false},
        {str("2.0"), str(""), false},
        {QJsonValue(3), str("1.0"), false},
        {QJsonValue(), str("1.0"), false},
        {str("1..2"), str("1.0.1"), true},
        {str("1.0.0.1"), str("1"), true},
        {str("+2"), str("1"), true},
        {str("-2"), str("1"), false},
        // Components beyond 64 bits saturate rather than wrap.
        {str("99999999999999999999"), str("9223372036854775806"), true},
        {str("99999999999999999999"), str("99999999999999999998"), false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(isVersionNewerThan(c.candidate, c.reference), c.newer)
            << c.candidate.toVariant().toString().toStdString() << " vs "
            << c.reference.toVariant().toString().toStdString();
}

JsonReply reply(qint64 status, const char* json) {
    JsonReply r;
    r.status = status;
    const QJsonDocument doc = QJsonDocument::fromJson(json);
    if (doc.isObject())
        r.result = doc.object();
    return r;
}

TEST(UpdateCheck, ReplyTable) {
    const QString own = "1.0.0";
    EXPECT_EQ(versionToOffer(reply(200, R"({"version":"2.0"})"), own), str("2.0"));
    EXPECT_EQ(versionToOffer(reply(200, R"({"version":"1.0"})"), own), std::nullopt);
    EXPECT_EQ(versionToOffer(reply(200, R"({"updateAvailable":true})"), own),
              QJsonValue(QJsonValue::Undefined));
    EXPECT_EQ(versionToOffer(reply(200, R"({"updateAvailable":1,"version":7})"), own), QJsonValue(7));
    EXPECT_EQ(versionToOffer(reply(200, R"({"updateAvailable":false,"version":"99.0"})"), own), std::nullopt);
    EXPECT_EQ(versionToOffer(reply(200, R"({"updateAvailable":0,"version":"99.0"})"), own), std::nullopt);
    EXPECT_EQ(versionToOffer(reply(200, R"({"updateAvailable":"no","version":"2.0"})"), own), str("2.0"));
    EXPECT_EQ(versionToOffer(reply(304, R"({"updateAvailable":true})"), own), std::nullopt);
    EXPECT_EQ(versionToOffer(reply(500, R"({"version":"9.0"})"), own), std::nullopt);
    EXPECT_EQ(versionToOffer(reply(200, "[1,2]"), own), std::nullopt);
    EXPECT_EQ(versionToOffer(JsonReply{}, own), std::nullopt);
}

TEST(UpdateCheck, PromptTextShowsTheOfferedVersionAsItCame) {
    EXPECT_EQ(promptText(str("2.1.0"), "1.0.0"), "A new version 2.1.0 is available (you have 1.0.0).");
    EXPECT_EQ(promptText(QJsonValue(QJsonValue::Undefined), "1.0.0"),
              "A new version  is available (you have 1.0.0).");
    EXPECT_EQ(promptText(QJsonValue(3), "1.0.0"), "A new version 3 is available (you have 1.0.0).");
}

// Answers GET "/api/version" with a prepared reply and notes the thread it ran on.
class VersionService final : public JsonTransport {
public:
    JsonReply sendJSONRequestMethod(const QString& method, const QString& path,
                                    const std::optional<QJsonValue>& json, const QByteArray&) override {
        requests.append(method + u' ' + path + (json ? QStringLiteral(" +body") : QString()));
        thread = QThread::currentThread();
        return answer;
    }
    void sendAsync(const QString&, const QString&, const std::optional<QJsonValue>&, QObject*,
                   std::function<void(const JsonReply&)>) override {
        ADD_FAILURE() << "the update check never sends asynchronously";
    }

    JsonReply answer;
    QStringList requests;
    QThread* thread = nullptr;
};

TEST(UpdateChecker, ChecksOffTheGuiThreadAndOffersOnIt) {
    VersionService service;
    service.answer = reply(200, R"({"version":"3.0.0"})");
    ScriptedAlerts alerts;
    QThread* promptThread = nullptr;
    alerts.whileOpen = [&](const AlertSpec&) { promptThread = QThread::currentThread(); };
    QList<QUrl> opened;
    UpdateChecker checker(service, alerts, QUrl("https://time.example.com"), [&](const QUrl& url) {
        opened.append(url);
        return true;
    });
    checker.scheduleCheck(0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !opened.isEmpty(); }, 5000));
    EXPECT_EQ(service.requests, QStringList{"GET /api/version"});
    EXPECT_NE(service.thread, QThread::currentThread());
    EXPECT_EQ(promptThread, QThread::currentThread());
    ASSERT_EQ(alerts.shown.size(), 1);
    EXPECT_EQ(alerts.shown[0].message, "Update available");
    EXPECT_EQ(alerts.shown[0].informative, "A new version 3.0.0 is available (you have 1.0.0).");
    EXPECT_EQ(alerts.shown[0].buttons, (QStringList{"Install", "Later"}));
    EXPECT_EQ(opened, QList<QUrl>{QUrl("https://time.example.com")});
}

TEST(UpdateChecker, LaterOpensNothingAndNoOfferShowsNothing) {
    VersionService service;
    service.answer = reply(200, R"({"updateAvailable":true,"version":"3.0.0"})");
    ScriptedAlerts alerts;
    alerts.answers = {1};
    int opened = 0;
    UpdateChecker checker(service, alerts, QUrl("https://time.example.com"), [&](const QUrl&) {
        ++opened;
        return true;
    });
    checker.checkAndPromptForUpdate();
    // The offer runs in one event on the GUI thread: once it is recorded, it has been answered.
    ASSERT_TRUE(QTest::qWaitFor([&] { return alerts.shown.size() == 1; }, 5000));
    EXPECT_EQ(opened, 0);

    service.answer = reply(200, R"({"updateAvailable":false,"version":"9.0.0"})");
    checker.checkAndPromptForUpdate();
    QCoreApplication::processEvents();
    EXPECT_EQ(alerts.shown.size(), 1);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
