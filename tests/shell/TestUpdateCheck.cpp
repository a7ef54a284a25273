#include "FakeJsonTransport.h"
#include "ScriptedAlerts.h"
#include "UpdateCheck.h"
#include "UpdateChecker.h"

#include <QJsonDocument>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

using namespace UpdateCheck;

namespace {

JsonReply reply(qint64 status, const char* json) {
    const QJsonDocument document = QJsonDocument::fromJson(json);
    return {status, std::nullopt, document.isObject() ? std::optional(document.object()) : std::nullopt};
}

TEST(UpdateCheck, VersionComparison) {
    const struct {
        QJsonValue candidate;
        const char* reference;
        bool newer;
    } cases[] = {{"1.10", "1.9", true},
                 {"1.2", "1.2.0", false},
                 {" V2.0\n", "1.9.9", true},
                 {"vv2.0", "1.9.9", false},
                 {"2.0-beta", "2.0", false},
                 {"abc", "1.0", false},
                 {"2.0", "", false},
                 {3, "1.0", false},
                 {"1..2", "1.0.1", true},
                 {"1.0.0.1", "1", true},
                 {"99999999999999999999", "9223372036854775806", true}};
    for (const auto& c : cases)
        EXPECT_EQ(isVersionNewerThan(c.candidate, QString::fromLatin1(c.reference)), c.newer)
            << c.candidate.toVariant().toString().toStdString() << " vs " << c.reference;
}

TEST(UpdateCheck, WhenTheOfferIsShown) {
    const struct {
        qint64 status;
        const char* body;
        const char* offered; // as the offer shows it; null: no offer
    } cases[] = {{200, R"({"version":"2.0"})", "2.0"},
                 {200, R"({"version":"1.0"})", nullptr},
                 {200, R"({"updateAvailable":true})", ""},
                 {200, R"({"updateAvailable":1,"version":7})", "7"},
                 {200, R"({"updateAvailable":false,"version":"99.0"})", nullptr},
                 {200, R"({"updateAvailable":0,"version":"99.0"})", nullptr},
                 {200, R"({"updateAvailable":"no","version":"2.0"})", "2.0"},
                 {304, R"({"updateAvailable":true})", nullptr},
                 {500, R"({"version":"9.0"})", nullptr},
                 {200, "[1,2]", nullptr},
                 {0, "", nullptr}};
    for (const auto& c : cases) {
        const std::optional<QJsonValue> offer = versionToOffer(reply(c.status, c.body), "1.0.0");
        ASSERT_EQ(offer.has_value(), c.offered != nullptr) << c.status << ' ' << c.body;
        if (offer) {
            EXPECT_EQ(promptText(*offer, "1.0.0"),
                      QStringLiteral("A new version %1 is available (you have 1.0.0).").arg(c.offered));
        }
    }
    EXPECT_EQ(currentAppVersion(QString()), "1.0.0");
}

TEST(UpdateChecker, AsksOffTheGuiThreadAndOnlyInstallOpensTheSite) {
    FakeJsonTransport service;
    QThread* asker = nullptr;
    service.answer = [&](const FakeJsonTransport::Request&) {
        asker = QThread::currentThread();
        return reply(200, R"({"version":"3.0.0"})");
    };
    ScriptedAlerts alerts;
    alerts.answers = {0, 1}; // "Install", then "Later"
    QThread* prompter = nullptr;
    alerts.whileOpen = [&](const AlertSpec&) { prompter = QThread::currentThread(); };
    QList<QUrl> opened;
    UpdateChecker checker(service, alerts, QUrl("https://time.example.com"), [&](const QUrl& url) {
        opened.append(url);
        return true;
    });

    checker.scheduleCheck(0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return alerts.shown.size() == 1; }, 5000));
    EXPECT_NE(asker, QThread::currentThread());
    EXPECT_EQ(prompter, QThread::currentThread());
    EXPECT_EQ(service.paths(), QStringList{"/api/version"});
    EXPECT_EQ(service.requests()[0].method, "GET");
    EXPECT_FALSE(service.requests()[0].json);
    EXPECT_EQ(alerts.shown[0].buttons, (QStringList{"Install", "Later"}));
    EXPECT_EQ(opened, QList<QUrl>{QUrl("https://time.example.com")});

    checker.scheduleCheck(0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return alerts.shown.size() == 2; }, 5000));
    EXPECT_EQ(opened.size(), 1);
}

} // namespace
