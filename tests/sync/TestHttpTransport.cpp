#include "HttpTransport.h"
#include "LocalHttpServer.h"
#include "QtPrinters.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QPointer>
#include <QProcess>
#include <QSslCertificate>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <barrier>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>

using namespace std::chrono_literals;

namespace {

void respondWith(LocalHttpServer& server, int status, std::string body,
                 std::string type = "application/json") {
    server.setResponder([=](const LocalHttpServer::Received&, httplib::Response& response) {
        response.status = status;
        if (!body.empty())
            response.set_content(body, type.c_str());
    });
}

TEST(HttpTransport, AnswersFollowTheFailureTable) {
    LocalHttpServer server;
    HttpTransport transport(server.baseUrl());
    const struct {
        const char* name;
        int status;
        std::string body;
        bool error;
        std::optional<QJsonObject> result;
    } cases[] = {
        {"404 with an object", 404, R"({"error":"no such employee"})", false,
         QJsonObject{{"error", "no such employee"}}},
        {"500 with an object", 500, R"({"ok":false})", false, QJsonObject{{"ok", false}}},
        {"200 with an array", 200, "[1,2]", false, std::nullopt},
        {"200 with a body that is not JSON", 200, "<html>oops</html>", true, std::nullopt},
        {"200 with a bare string", 200, R"("ok")", true, std::nullopt},
        {"204 without a body", 204, "", false, std::nullopt},
        {"401 without a body", 401, "", false, std::nullopt},
        {"503 with text", 503, "busy", true, std::nullopt},
    };
    for (const auto& c : cases) {
        respondWith(server, c.status, c.body);
        const JsonReply reply = transport.sendJSONRequestMethod("POST", "/api/x", QJsonValue(QJsonObject{}));
        EXPECT_EQ(reply.status, c.status) << c.name;
        EXPECT_EQ(reply.error.has_value(), c.error)
            << c.name << ": " << reply.error.value_or("").toStdString();
        EXPECT_EQ(reply.result, c.result) << c.name;
    }
}

TEST(HttpTransport, EveryRequestIsJsonAndCarriesItsKey) {
    LocalHttpServer server;
    HttpTransport transport(server.baseUrl());
    transport.sendJSONRequestMethod("GET", "/api/version", std::nullopt);
    transport.sendJSONRequestMethod("POST", "/api/time/clock-in",
                                    QJsonValue(QJsonObject{{"employeeId", "E 1"}, {"n", 3}}), "key-1");
    transport.sendJSONRequestMethod("POST", "/api/list", QJsonValue(QJsonArray{1, "a"}));
    transport.sendJSONRequestMethod("POST", "/api/scalar", QJsonValue(5));

    const auto received = server.received();
    ASSERT_EQ(received.size(), 4u);
    for (const auto& r : received)
        EXPECT_EQ(r.contentType, "application/json") << r.target;
    EXPECT_EQ(received[0].method, "GET");
    EXPECT_EQ(received[0].target, "/api/version");
    EXPECT_EQ(received[0].body, "");
    EXPECT_FALSE(received[0].hasIdempotencyKey);
    EXPECT_EQ(received[1].method, "POST");
    EXPECT_EQ(received[1].body, R"({"employeeId":"E 1","n":3})");
    EXPECT_EQ(received[1].idempotencyKey, "key-1");
    EXPECT_EQ(received[2].body, R"([1,"a"])");
    EXPECT_EQ(received[3].body, ""); // a scalar cannot be a JSON text: sent without a body
}

TEST(HttpTransport, TheEncodedQueryArrivesAsWritten) {
    LocalHttpServer server;
    HttpTransport transport(server.baseUrl());
    transport.sendJSONRequestMethod(
        "GET", "/api/time/summary?employeeId=a%26b%3Dc%2Bd&jobId=%20&from=2024-03-04T22%3A00%3A00Z",
        std::nullopt);
    const auto received = server.received();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].target,
              "/api/time/summary?employeeId=a%26b%3Dc%2Bd&jobId=%20&from=2024-03-04T22%3A00%3A00Z");
    EXPECT_EQ(received[0].params.size(), 3u);
    EXPECT_EQ(received[0].params.find("employeeId")->second, "a&b=c+d");
    EXPECT_EQ(received[0].params.find("jobId")->second, " ");
}

TEST(HttpTransport, ConnectionsAreKeptAlive) {
    LocalHttpServer server;
    HttpTransport transport(server.baseUrl());
    for (int i = 0; i < 20; ++i)
        ASSERT_EQ(transport.sendJSONRequestMethod("GET", "/api/version", std::nullopt).status, 200);
    std::set<int> ports;
    for (const auto& r : server.received())
        ports.insert(r.remotePort);
    EXPECT_EQ(ports.size(), 1u);
}

TEST(HttpTransport, OnlyAServiceOnThisMachineCountsAsLoopback) {
    EXPECT_TRUE(HttpTransport::isLoopback("http://127.0.0.1:8787"));
    EXPECT_TRUE(HttpTransport::isLoopback("http://127.1.2.3"));
    EXPECT_TRUE(HttpTransport::isLoopback("http://[::1]:8787"));
    EXPECT_TRUE(HttpTransport::isLoopback("https://LocalHost"));
    EXPECT_FALSE(HttpTransport::isLoopback("https://time.corlune.example"));
    EXPECT_FALSE(HttpTransport::isLoopback("https://localhost.corlune.example"));
    EXPECT_FALSE(HttpTransport::isLoopback("http://10.0.0.1"));
}

TEST(HttpTransport, TwoThreadsAtOnceEachGetTheirOwnAnswer) {
    LocalHttpServer server;
    std::barrier bothArrived(2);
    server.setResponder([&](const LocalHttpServer::Received& r, httplib::Response& response) {
        bothArrived.arrive_and_wait(); // both requests are in flight together
        response.set_content(R"({"path":")" + r.path + R"("})", "application/json");
    });
    HttpTransport transport(server.baseUrl());
    JsonReply replies[2];
    std::thread threads[2];
    for (int i = 0; i < 2; ++i) {
        threads[i] = std::thread([&, i] {
            replies[i] =
                transport.sendJSONRequestMethod("GET", QStringLiteral("/thread/%1").arg(i), std::nullopt);
        });
    }
    for (auto& t : threads)
        t.join();
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(replies[i].status, 200);
        ASSERT_TRUE(replies[i].result);
        EXPECT_EQ(replies[i].result->value("path").toString(), QStringLiteral("/thread/%1").arg(i));
    }
}

TEST(HttpTransport, FailuresWithoutAnAnswerHaveStatusZeroAndAnError) {
    int closedPort = 0;
    {
        LocalHttpServer gone;
        closedPort = gone.port();
    }
    const struct {
        const char* name;
        QString base;
        QString method;
        QString path;
    } cases[] = {
        {"connection refused", QStringLiteral("http://127.0.0.1:%1").arg(closedPort), "GET", "/api/version"},
        {"no such host", "http://corlune-nowhere.invalid", "GET", "/api/version"},
        {"path without a slash", QStringLiteral("http://127.0.0.1:%1").arg(closedPort), "GET", "api"},
        {"not a method", QStringLiteral("http://127.0.0.1:%1").arg(closedPort), "GET /x", "/"},
        {"not a URL", "mailto:someone", "GET", "/"},
    };
    for (const auto& c : cases) {
        HttpTransport transport(c.base);
        const JsonReply reply = transport.sendJSONRequestMethod(c.method, c.path, std::nullopt);
        EXPECT_EQ(reply.status, 0) << c.name;
        EXPECT_TRUE(reply.error) << c.name;
        EXPECT_FALSE(reply.result) << c.name;
    }
}

TEST(HttpTransport, AnOversizedAnswerIsCutOff) {
    LocalHttpServer server;
    std::string huge = "{\"pad\":\"" + std::string(HttpTransport::maxAnswerBytes, 'x') + "\"}";
    respondWith(server, 200, std::move(huge));
    HttpTransport transport(server.baseUrl());
    const JsonReply reply = transport.sendJSONRequestMethod("GET", "/big", std::nullopt);
    EXPECT_TRUE(reply.error);
    EXPECT_FALSE(reply.result);
}

TEST(HttpTransport, AsyncRepliesReachALivingContextOnly) {
    LocalHttpServer server;
    respondWith(server, 200, R"({"instagram":{}})");
    HttpTransport transport(server.baseUrl());

    QObject context;
    std::optional<JsonReply> got;
    QThread* deliveredOn = nullptr;
    transport.sendAsync("GET", "/api/analytics/impressions", std::nullopt, &context,
                        [&](const JsonReply& reply) {
                            got = reply;
                            deliveredOn = QThread::currentThread();
                        });
    ASSERT_TRUE(QTest::qWaitFor([&] { return got.has_value(); }, 5000));
    EXPECT_EQ(got->status, 200);
    EXPECT_EQ(got->result, (QJsonObject{{"instagram", QJsonObject{}}}));
    EXPECT_EQ(deliveredOn, QThread::currentThread());

    // A context destroyed while its request is in flight gets nothing, and nothing breaks.
    std::mutex gateMutex;
    std::condition_variable gateChanged;
    bool open = false;
    server.setResponder([&](const LocalHttpServer::Received&, httplib::Response& response) {
        std::unique_lock lock(gateMutex);
        gateChanged.wait_for(lock, 10s, [&] { return open; });
        response.set_content("{}", "application/json");
    });
    bool calledAfterDeath = false;
    auto doomed = std::make_unique<QObject>();
    transport.sendAsync("GET", "/doomed", std::nullopt, doomed.get(),
                        [&](const JsonReply&) { calledAfterDeath = true; });
    std::optional<JsonReply> witness;
    transport.sendAsync("GET", "/witness", std::nullopt, &context, [&](const JsonReply& r) { witness = r; });
    ASSERT_TRUE(server.waitForRequests(3, 5s));
    doomed.reset();
    {
        const std::lock_guard lock(gateMutex);
        open = true;
    }
    gateChanged.notify_all();
    ASSERT_TRUE(QTest::qWaitFor([&] { return witness.has_value(); }, 5000));
    // Nothing is to happen here, so this can only wait out a bound.
    EXPECT_FALSE(QTest::qWaitFor([&] { return calledAfterDeath; }, 300));
}

// A throw-away CA and a certificate for 127.0.0.1 signed by it.
class TestCertificates {
public:
    TestCertificates() {
        const auto run = [this](const QStringList& args) {
            QProcess openssl;
            openssl.setWorkingDirectory(dir.path());
            openssl.start(QStringLiteral("openssl"), args);
            return openssl.waitForFinished(30000) && openssl.exitCode() == 0;
        };
        QFile ext(dir.filePath("ext.cnf"));
        ok = ext.open(QIODevice::WriteOnly) &&
             ext.write("basicConstraints=CA:FALSE\nsubjectAltName=IP:127.0.0.1\n"
                       "extendedKeyUsage=serverAuth\n") > 0;
        ext.close();
        ok = ok &&
             run({"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key", "-out", "ca.pem",
                  "-days", "2", "-subj", "/CN=Corlune Test CA"}) &&
             run({"req", "-newkey", "rsa:2048", "-nodes", "-keyout", "server.key", "-out", "server.csr",
                  "-subj", "/CN=127.0.0.1"}) &&
             run({"x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial",
                  "-out", "server.pem", "-days", "2", "-extfile", "ext.cnf"});
    }
    std::string path(const char* name) const { return dir.filePath(QString::fromLatin1(name)).toStdString(); }

    QTemporaryDir dir;
    bool ok = false;
};

TEST(HttpTransport, TlsIsVerifiedAgainstTheTrustedAuthorities) {
    if (!QSslSocket::supportsSsl())
        GTEST_FAIL() << "Qt has no TLS backend";
    TestCertificates certificates;
    ASSERT_TRUE(certificates.ok);
    LocalHttpServer server(certificates.path("server.pem"), certificates.path("server.key"));
    respondWith(server, 200, R"({"ok":true})");

    QSslConfiguration trusting = QSslConfiguration::defaultConfiguration();
    trusting.setCaCertificates(
        QSslCertificate::fromPath(QString::fromStdString(certificates.path("ca.pem"))));
    HttpTransport trusted(server.baseUrl(), trusting);
    const JsonReply good =
        trusted.sendJSONRequestMethod("POST", "/api/users/verify", QJsonValue(QJsonObject{}));
    EXPECT_EQ(good.status, 200);
    EXPECT_FALSE(good.error);
    EXPECT_EQ(good.result, (QJsonObject{{"ok", true}}));

    // The system's authorities do not know the test CA: the answer is refused unread.
    HttpTransport system(server.baseUrl());
    const JsonReply refused =
        system.sendJSONRequestMethod("POST", "/api/users/verify", QJsonValue(QJsonObject{}));
    EXPECT_EQ(refused.status, 0);
    EXPECT_TRUE(refused.error);
    EXPECT_FALSE(refused.result);
    EXPECT_EQ(server.received().size(), 1u);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
