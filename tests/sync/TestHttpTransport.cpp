// The transport against a real server on loopback: how long a caller waits for a late answer,
// and whose certificates it trusts.
#include "HttpTransport.h"
#include "LocalHttpServer.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QSslCertificate>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

using namespace std::chrono_literals;

namespace {

TEST(HttpTransport, ACallerWaits15SecondsForALateAnswerAndNoLonger) {
    std::mutex mutex;
    std::condition_variable released;
    bool done = false;
    LocalHttpServer server;
    server.setResponder([&](const LocalHttpServer::Received&, httplib::Response& response) {
        std::unique_lock lock(mutex);
        released.wait_for(lock, 20s, [&] { return done; });
        response.set_content(R"({"late":true})", "application/json");
    });
    HttpTransport transport(server.baseUrl());
    const auto start = std::chrono::steady_clock::now();
    const JsonReply reply =
        transport.sendJSONRequestMethod("POST", "/api/time/clock-in", QJsonValue(QJsonObject{}));
    const auto waited = std::chrono::steady_clock::now() - start;
    {
        const std::lock_guard lock(mutex);
        done = true;
    }
    released.notify_all();

    EXPECT_EQ(reply.status, 0);
    EXPECT_FALSE(reply.result);
    EXPECT_GE(waited, 15s);
    EXPECT_LT(waited, 17s);
}

// A throw-away authority and a certificate for 127.0.0.1 signed by it.
struct Certificates {
    Certificates() {
        const auto openssl = [this](const QStringList& arguments) {
            QProcess process;
            process.setWorkingDirectory(folder.path());
            process.start(QStringLiteral("openssl"), arguments);
            return process.waitForFinished(30000) && process.exitCode() == 0;
        };
        QFile extensions(folder.filePath("ext.cnf"));
        made = extensions.open(QIODevice::WriteOnly) &&
               extensions.write("subjectAltName=IP:127.0.0.1\nextendedKeyUsage=serverAuth\n") > 0;
        extensions.close();
        made = made &&
               openssl({"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key", "-out",
                        "ca.pem", "-days", "2", "-subj", "/CN=Corlune Test CA"}) &&
               openssl({"req", "-newkey", "rsa:2048", "-nodes", "-keyout", "server.key", "-out", "server.csr",
                        "-subj", "/CN=127.0.0.1"}) &&
               openssl({"x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
                        "-CAcreateserial", "-out", "server.pem", "-days", "2", "-extfile", "ext.cnf"});
    }
    std::string path(const char* name) const {
        return folder.filePath(QString::fromLatin1(name)).toStdString();
    }

    QTemporaryDir folder;
    bool made = false;
};

TEST(HttpTransport, OnlyACertificateOfATrustedAuthorityIsAnswered) {
    Certificates certificates;
    ASSERT_TRUE(certificates.made);
    LocalHttpServer server(certificates.path("server.pem"), certificates.path("server.key"));
    QSslConfiguration trusting = QSslConfiguration::defaultConfiguration();
    trusting.setCaCertificates(
        QSslCertificate::fromPath(QString::fromStdString(certificates.path("ca.pem"))));

    const JsonReply trusted =
        HttpTransport(server.baseUrl(), trusting).sendJSONRequestMethod("GET", "/", std::nullopt);
    EXPECT_EQ(trusted.status, 200);
    EXPECT_FALSE(trusted.error);
    // The system's authorities do not know the test's: the request never reaches the server.
    const JsonReply refused = HttpTransport(server.baseUrl()).sendJSONRequestMethod("GET", "/", std::nullopt);
    EXPECT_EQ(refused.status, 0);
    EXPECT_TRUE(refused.error);
    EXPECT_EQ(server.received().size(), 1u);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
