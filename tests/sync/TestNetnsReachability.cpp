// The kernel's own answers, in throw-away network namespaces joined by veth pairs. The
// addresses exist only inside the namespaces and the probe sends nothing, so no packet leaves.
#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include <unistd.h>

namespace {

struct Outcome {
    bool ok = false;
    QByteArray output;
};

Outcome run(const QString& program, const QStringList& args) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, args);
    const bool finished = process.waitForFinished(10000);
    return {finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0,
            process.readAll()};
}

class NetnsReachability : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) {
            if (qEnvironmentVariable("CI") == QLatin1String("true"))
                FAIL() << "the netns test must run as root in CI";
            GTEST_SKIP() << "needs root to make network namespaces";
        }
        probePath = qEnvironmentVariable("CORLUNE_REACHABILITY_PROBE");
        ASSERT_FALSE(probePath.isEmpty()) << "CORLUNE_REACHABILITY_PROBE is not set";
        const QString tag = QStringLiteral("corlune-reach-%1").arg(::getpid());
        client = tag + QStringLiteral("-c");
        peer = tag + QStringLiteral("-p");
        ASSERT_TRUE(ip({"netns", "add", client}));
        made.append(client);
        ASSERT_TRUE(ip({"netns", "add", peer}));
        made.append(peer);
        // IPv4 on one pair, kept free of IPv6 so that the kernel itself sends nothing on it.
        ASSERT_TRUE(ip(
            {"link", "add", "v4c", "netns", client, "type", "veth", "peer", "name", "v4p", "netns", peer}));
        ASSERT_TRUE(inClient({"sysctl", "-qw", "net.ipv6.conf.v4c.disable_ipv6=1"}));
        ASSERT_TRUE(ip({"-n", client, "addr", "add", "10.213.7.1/24", "dev", "v4c"}));
        ASSERT_TRUE(ip({"-n", peer, "addr", "add", "10.213.7.2/24", "dev", "v4p"}));
        // IPv6 on a second pair.
        ASSERT_TRUE(ip(
            {"link", "add", "v6c", "netns", client, "type", "veth", "peer", "name", "v6p", "netns", peer}));
        ASSERT_TRUE(ip({"-n", client, "addr", "add", "fd00:213:7::1/64", "dev", "v6c", "nodad"}));
        ASSERT_TRUE(ip({"-n", peer, "addr", "add", "fd00:213:7::2/64", "dev", "v6p", "nodad"}));
        for (const auto& [ns, device] : {std::pair{client, "lo"},
                                         {client, "v4c"},
                                         {client, "v6c"},
                                         {peer, "lo"},
                                         {peer, "v4p"},
                                         {peer, "v6p"}})
            ASSERT_TRUE(ip({"-n", ns, "link", "set", device, "up"}));
        ASSERT_TRUE(ip({"-n", client, "route", "add", "default", "via", "10.213.7.2"}));
        ASSERT_TRUE(ip({"-n", client, "-6", "route", "add", "default", "via", "fd00:213:7::2"}));
    }

    void TearDown() override {
        for (const QString& ns : made)
            ip({"netns", "del", ns});
    }

    bool ip(const QStringList& args) {
        const Outcome outcome = run(QStringLiteral("ip"), args);
        if (!outcome.ok)
            ADD_FAILURE() << "ip " << args.join(' ').toStdString() << ": " << outcome.output.toStdString();
        return outcome.ok;
    }
    bool inClient(const QStringList& command) {
        return run(QStringLiteral("ip"), QStringList{"netns", "exec", client} + command).ok;
    }
    QString probe(const char* address) {
        const Outcome outcome = run(QStringLiteral("ip"), {"netns", "exec", client, probePath, address});
        return QString::fromLocal8Bit(outcome.output).trimmed();
    }
    /// Link state reaches the routes through the kernel's link watcher, a moment after the
    /// change: wait for the expected answer, within a bound.
    bool answers(const char* address, const char* expected) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (probe(address) != QLatin1String(expected)) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    }
    qint64 sentPackets(const char* device) {
        const Outcome outcome =
            run(QStringLiteral("ip"), {"-n", client, "-s", "-j", "link", "show", "dev", device});
        const QJsonArray links = QJsonDocument::fromJson(outcome.output).array();
        return links.isEmpty()
                   ? -1
                   : links[0].toObject()["stats64"].toObject()["tx"].toObject()["packets"].toInteger(-1);
    }

    QString probePath;
    QString client;
    QString peer;
    QStringList made;
};

TEST_F(NetnsReachability, FollowsRoutesAndCarrier) {
    const struct {
        const char* step;
        QStringList change; // ip arguments; empty for none
        const char* v4;     // a public address, only reachable through the default route
        const char* peerV4; // the peer, on the connected route
        const char* v6;
    } steps[] = {
        {"default routes", {}, "reachable", "reachable", "reachable"},
        {"IPv4 default route deleted",
         {"-n", client, "route", "del", "default"},
         "unreachable",
         "reachable",
         "reachable"},
        {"IPv4 default route back",
         {"-n", client, "route", "add", "default", "via", "10.213.7.2"},
         "reachable",
         "reachable",
         "reachable"},
        {"IPv6 default route deleted",
         {"-n", client, "-6", "route", "del", "default"},
         "reachable",
         "reachable",
         "unreachable"},
        {"IPv6 default route back",
         {"-n", client, "-6", "route", "add", "default", "via", "fd00:213:7::2"},
         "reachable",
         "reachable",
         "reachable"},
        {"IPv4 peer's link down",
         {"-n", peer, "link", "set", "v4p", "down"},
         "unreachable",
         "unreachable",
         "reachable"},
        {"IPv4 peer's link up",
         {"-n", peer, "link", "set", "v4p", "up"},
         "reachable",
         "reachable",
         "reachable"},
        {"IPv6 peer's link down",
         {"-n", peer, "link", "set", "v6p", "down"},
         "reachable",
         "reachable",
         "unreachable"},
        {"IPv6 peer's link up",
         {"-n", peer, "link", "set", "v6p", "up"},
         "reachable",
         "reachable",
         "reachable"},
        {"own device down",
         {"-n", client, "link", "set", "v4c", "down"},
         "unreachable",
         "unreachable",
         "reachable"},
        {"own device up",
         {"-n", client, "link", "set", "v4c", "up"},
         "unreachable",
         "reachable",
         "reachable"},
        {"route restored",
         {"-n", client, "route", "add", "default", "via", "10.213.7.2"},
         "reachable",
         "reachable",
         "reachable"},
        {"an unreachable route",
         {"-n", client, "route", "add", "unreachable", "203.0.113.0/24"},
         "unreachable",
         "reachable",
         "reachable"},
    };
    for (const auto& s : steps) {
        if (!s.change.isEmpty()) {
            ASSERT_TRUE(ip(s.change)) << s.step;
        }
        EXPECT_TRUE(answers("203.0.113.5", s.v4)) << s.step << ": " << probe("203.0.113.5").toStdString();
        EXPECT_TRUE(answers("10.213.7.2", s.peerV4)) << s.step << ": " << probe("10.213.7.2").toStdString();
        EXPECT_TRUE(answers("2001:db8::5", s.v6)) << s.step << ": " << probe("2001:db8::5").toStdString();
    }
    EXPECT_EQ(probe("::ffff:10.213.7.2"), "reachable");
    EXPECT_EQ(probe("127.0.0.1"), "reachable");
    // Dozens of probes later, not one packet has left through the IPv4 device.
    EXPECT_EQ(sentPackets("v4c"), 0);
}

} // namespace
