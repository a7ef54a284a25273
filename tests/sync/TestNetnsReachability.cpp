// The netlink backend against the kernel's own routes and links, in throw-away network
// namespaces joined by veth pairs. The addresses exist only inside them and the backend sends
// nothing, so no packet leaves.
#include "NetlinkReachability.h"

#include <QProcess>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

namespace {

bool ip(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral("ip"), arguments);
    return process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

class NetnsReachability : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) {
            if (qEnvironmentVariable("CI") == QLatin1String("true"))
                FAIL() << "must run as root in CI";
            GTEST_SKIP() << "needs root to make network namespaces";
        }
        // One veth pair with both families, and a default route of each through the peer.
        const QStringList setUp[] = {
            {"netns", "add", client},
            {"netns", "add", peer},
            {"link", "add", "vc", "netns", client, "type", "veth", "peer", "name", "vp", "netns", peer},
            {"-n", client, "addr", "add", "10.213.7.1/24", "dev", "vc"},
            {"-n", peer, "addr", "add", "10.213.7.2/24", "dev", "vp"},
            {"-n", client, "addr", "add", "fd00:213:7::1/64", "dev", "vc", "nodad"},
            {"-n", peer, "addr", "add", "fd00:213:7::2/64", "dev", "vp", "nodad"},
            {"-n", client, "link", "set", "lo", "up"},
            {"-n", client, "link", "set", "vc", "up"},
            {"-n", peer, "link", "set", "vp", "up"},
            {"-n", client, "route", "add", "default", "via", "10.213.7.2"},
            {"-n", client, "-6", "route", "add", "default", "via", "fd00:213:7::2"},
        };
        for (const QStringList& step : setUp)
            ASSERT_TRUE(ip(step)) << step.join(' ').toStdString();
    }
    void TearDown() override {
        ip({"netns", "del", client});
        ip({"netns", "del", peer});
    }

    /// What the backend, made inside the client's namespace, says of \a address.
    bool reachable(const char* address) const {
        bool answer = false;
        std::thread([&] {
            const int ns = ::open(("/run/netns/" + client.toStdString()).c_str(), O_RDONLY | O_CLOEXEC);
            if (ns >= 0 && ::setns(ns, CLONE_NEWNET) == 0)
                answer = NetlinkReachability().isReachable(QHostAddress(QString::fromLatin1(address)));
            if (ns >= 0)
                ::close(ns);
        }).join();
        return answer;
    }
    /// Link state reaches the routes a moment after the change: waits for \a expected, bounded.
    bool becomes(const char* address, bool expected) const {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (reachable(address) != expected) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    }

    const QString client = QStringLiteral("corlune-c%1").arg(::getpid());
    const QString peer = QStringLiteral("corlune-p%1").arg(::getpid());
};

TEST_F(NetnsReachability, FollowsRoutesAndCarrier) {
    const struct {
        const char* step;
        QStringList change;
        bool v4;     // a public address, only through the default route
        bool peerV4; // on the connected route
        bool v6;
    } steps[] = {
        {"default routes", {}, true, true, true},
        {"IPv4 default route deleted", {"-n", client, "route", "del", "default"}, false, true, true},
        {"IPv4 default route back",
         {"-n", client, "route", "add", "default", "via", "10.213.7.2"},
         true,
         true,
         true},
        {"IPv6 default route deleted", {"-n", client, "-6", "route", "del", "default"}, true, true, false},
        {"the peer's link down: no carrier", {"-n", peer, "link", "set", "vp", "down"}, false, false, false},
        {"the peer's link up", {"-n", peer, "link", "set", "vp", "up"}, true, true, false},
        {"own device down", {"-n", client, "link", "set", "vc", "down"}, false, false, false},
        {"own device up, its route gone", {"-n", client, "link", "set", "vc", "up"}, false, true, false},
        {"IPv4 default route back again",
         {"-n", client, "route", "add", "default", "via", "10.213.7.2"},
         true,
         true,
         false},
        {"an unreachable route",
         {"-n", client, "route", "add", "unreachable", "203.0.113.0/24"},
         false,
         true,
         false},
    };
    for (const auto& s : steps) {
        if (!s.change.isEmpty()) {
            ASSERT_TRUE(ip(s.change)) << s.step;
        }
        EXPECT_TRUE(becomes("203.0.113.5", s.v4)) << s.step;
        EXPECT_TRUE(becomes("10.213.7.2", s.peerV4)) << s.step;
        EXPECT_TRUE(becomes("2001:db8::5", s.v6)) << s.step;
    }
    EXPECT_TRUE(reachable("127.0.0.1"));
}

} // namespace
