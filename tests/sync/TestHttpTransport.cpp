// The transport against the service on loopback, in this process: how long a caller waits for
// a late answer, and whose certificates it trusts.
#include "HttpTransport.h"
#include "Service.h"

#include <QCoreApplication>
#include <QProcess>
#include <QSslCertificate>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

corlune::server::ServeOptions serving(const QTemporaryDir& folder) {
    corlune::server::ServeOptions options;
    options.db = folder.filePath("service.sqlite3").toStdString();
    options.port = 0;
    options.threads = 2;
    return options;
}

QString origin(const char* scheme, const corlune::server::Service& service) {
    return QStringLiteral("%1://127.0.0.1:%2").arg(QLatin1String(scheme)).arg(service.port());
}

TEST(HttpTransport, ACallerWaits15SecondsForALateAnswerAndNoLonger) {
    QTemporaryDir folder;
    corlune::server::ServeOptions options = serving(folder);
    options.delay = 20s;
    options.delayScope = corlune::server::DelayScope::All;
    corlune::server::Service service(options);
    HttpTransport transport(origin("http", service));
    const auto start = std::chrono::steady_clock::now();
    const JsonReply reply = transport.sendJSONRequestMethod("GET", "/api/version", std::nullopt);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(reply.status, 0);
    EXPECT_FALSE(reply.result);
    EXPECT_GE(waited, 15s);
    EXPECT_LT(waited, 17s);
}

TEST(HttpTransport, OnlyACertificateOfATrustedAuthorityIsAnswered) {
    // A throw-away certificate for 127.0.0.1 that is its own authority.
    QTemporaryDir folder;
    QProcess openssl;
    openssl.setWorkingDirectory(folder.path());
    openssl.start("openssl",
                  {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "key.pem", "-out", "cert.pem",
                   "-days", "2", "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1"});
    ASSERT_TRUE(openssl.waitForFinished(30000) && openssl.exitCode() == 0);
    corlune::server::ServeOptions options = serving(folder);
    options.tlsCert = folder.filePath("cert.pem").toStdString();
    options.tlsKey = folder.filePath("key.pem").toStdString();
    corlune::server::Service service(options);
    QSslConfiguration trusting = QSslConfiguration::defaultConfiguration();
    trusting.setCaCertificates(QSslCertificate::fromPath(folder.filePath("cert.pem")));

    const JsonReply trusted = HttpTransport(origin("https", service), trusting)
                                  .sendJSONRequestMethod("GET", "/api/version", std::nullopt);
    EXPECT_EQ(trusted.status, 200);
    EXPECT_TRUE(trusted.result);
    // The system's authorities do not know it.
    const JsonReply refused =
        HttpTransport(origin("https", service)).sendJSONRequestMethod("GET", "/api/version", std::nullopt);
    EXPECT_EQ(refused.status, 0);
    EXPECT_TRUE(refused.error);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
