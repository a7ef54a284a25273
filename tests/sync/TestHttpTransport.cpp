// The transport against the service on loopback, in this process: how long a caller waits for
// a late answer, and whose certificates it trusts.
#include "HttpTransport.h"
#include "Service.h"

#include <QCoreApplication>
#include <QFile>
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
    corlune::server::ServeOptions options = serving(certificates.folder);
    options.tlsCert = certificates.path("server.pem");
    options.tlsKey = certificates.path("server.key");
    corlune::server::Service service(options);
    QSslConfiguration trusting = QSslConfiguration::defaultConfiguration();
    trusting.setCaCertificates(
        QSslCertificate::fromPath(QString::fromStdString(certificates.path("ca.pem"))));

    const JsonReply trusted = HttpTransport(origin("https", service), trusting)
                                  .sendJSONRequestMethod("GET", "/api/version", std::nullopt);
    EXPECT_EQ(trusted.status, 200);
    EXPECT_TRUE(trusted.result);
    // The system's authorities do not know the test's.
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
