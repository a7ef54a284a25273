// The connectivity poll with a fake reachability: at once when set up and then on its timer,
// never while a dialog is open; the banner while the host cannot be reached; the queue flushed
// only by a poll that can reach it.
#include "ConnectivityMonitor.h"
#include "FakeJsonTransport.h"
#include "FakeReachability.h"
#include "ModalGate.h"
#include "OfflineBannerView.h"
#include "OfflineQueue.h"
#include "ProbeAddresses.h"
#include "SyncState.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

const QHostAddress probe(QStringLiteral("192.0.2.10"));

struct Banner final : OfflineBannerView {
    void setOfflineBannerVisible(bool shown) override { visible = shown; }
    bool visible = false;
};

class ConnectivityMonitorTest : public ::testing::Test {
protected:
    ConnectivityMonitorTest() {
        reachability->reachable = {probe};
        monitor.setBannerView(&banner);
        monitor.setModalGate(&modal);
    }
    void queueReport(const char* path) {
        queue.enqueueRequestMethod("POST", QString::fromLatin1(path), QJsonObject{});
    }

    QTemporaryDir folder;
    SyncState state;
    FakeJsonTransport transport;
    OfflineQueue queue{state, transport, folder.filePath("q.sqlite3")};
    std::unique_ptr<FakeReachability> owned = std::make_unique<FakeReachability>();
    FakeReachability* reachability = owned.get();
    ConnectivityMonitor monitor{state, queue, std::move(owned),
                                std::make_unique<ProbeAddresses>(probe.toString())};
    Banner banner;
    ModalGate modal;
};

TEST_F(ConnectivityMonitorTest, FlushesOnlyWhileTheHostCanBeReached) {
    queueReport("/a");
    queueReport("/b");
    monitor.setUp();
    EXPECT_EQ(transport.paths(), (QStringList{"/a", "/b"})) << "the first poll is made at once";
    EXPECT_FALSE(banner.visible);

    reachability->reachable.clear();
    monitor.updateReachability();
    EXPECT_FALSE(state.isOnline);
    EXPECT_TRUE(banner.visible);
    queueReport("/c");
    monitor.updateReachability();
    EXPECT_EQ(transport.paths().size(), 2);

    reachability->reachable = {probe};
    monitor.updateReachability();
    EXPECT_TRUE(state.isOnline);
    EXPECT_FALSE(banner.visible);
    EXPECT_EQ(transport.paths(), (QStringList{"/a", "/b", "/c"}));
}

TEST_F(ConnectivityMonitorTest, TheTimerPollsButNotWhileADialogIsOpen) {
    monitor.setUp();
    QTimer* timer = monitor.findChild<QTimer*>();
    ASSERT_NE(timer, nullptr);
    timer->setInterval(5);
    EXPECT_TRUE(QTest::qWaitFor([&] { return reachability->reads >= 3; }, 2000));
    {
        ModalScope dialog(modal);
        QSignalSpy fired(timer, &QTimer::timeout);
        const int before = reachability->reads;
        EXPECT_TRUE(fired.wait(2000) && fired.wait(2000));
        EXPECT_EQ(reachability->reads, before);
    }
    const int after = reachability->reads;
    EXPECT_TRUE(QTest::qWaitFor([&] { return reachability->reads > after; }, 2000));
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
