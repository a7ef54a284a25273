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

const QString client = QStringLiteral("corlune-c%1").arg(::getpid());
const QString peer = QStringLiteral("corlune-p%1").arg(::getpid());

/// Runs `ip` with \a arguments, C and P standing for the two namespaces' names.
bool ip(const char* arguments) {
    QStringList words = QString::fromLatin1(arguments).split(u' ');
    for (QString& word : words)
        word = word == "C" ? client : word == "P" ? peer : word;
    QProcess process;
    process.start(QStringLiteral("ip"), words);
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
        for (const char* step :
             {"netns add C", "netns add P", "link add vc netns C type veth peer name vp netns P",
              "-n C addr add 10.213.7.1/24 dev vc", "-n P addr add 10.213.7.2/24 dev vp",
              "-n C addr add fd00:213:7::1/64 dev vc nodad", "-n P addr add fd00:213:7::2/64 dev vp nodad",
              "-n C link set lo up", "-n C link set vc up", "-n P link set vp up",
              "-n C route add default via 10.213.7.2", "-n C -6 route add default via fd00:213:7::2"})
            ASSERT_TRUE(ip(step)) << step;
    }
    void TearDown() override {
        ip("netns del C");
        ip("netns del P");
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
};

TEST_F(NetnsReachability, FollowsRoutesAndCarrier) {
    // After each change to the client's namespace: a public address of each family, only through
    // a default route, and the peer on the connected route.
    const struct {
        const char* change;
        bool v4, peerV4, v6;
    } steps[] = {
        {nullptr, true, true, true},
        {"-n C route del default", false, true, true},
        {"-n C route add default via 10.213.7.2", true, true, true},
        {"-n C -6 route del default", true, true, false},
        {"-n P link set vp down", false, false, false}, // no carrier
        {"-n P link set vp up", true, true, false},
        {"-n C link set vc down", false, false, false},
        {"-n C link set vc up", false, true, false}, // its default route went with it
        {"-n C route add default via 10.213.7.2", true, true, false},
        {"-n C route add unreachable 203.0.113.0/24", false, true, false},
    };
    for (const auto& s : steps) {
        const char* step = s.change ? s.change : "default routes";
        if (s.change) {
            ASSERT_TRUE(ip(s.change)) << step;
        }
        EXPECT_TRUE(becomes("203.0.113.5", s.v4)) << step;
        EXPECT_TRUE(becomes("10.213.7.2", s.peerV4)) << step;
        EXPECT_TRUE(becomes("2001:db8::5", s.v6)) << step;
    }
    EXPECT_TRUE(reachable("127.0.0.1"));
}

} // namespace
