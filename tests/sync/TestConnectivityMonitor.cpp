// The connectivity poll on its timer, never while a dialog is open. (The first poll at once, the
// banner and the flush only while online are the fault table's.)
#include "ConnectivityMonitor.h"
#include "FakeClocks.h"
#include "FakeJsonTransport.h"
#include "FakeReachability.h"
#include "ModalGate.h"
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

class ConnectivityMonitorTest : public ::testing::Test {
protected:
    ConnectivityMonitorTest() {
        reachability->reachable = {probe};
        monitor.setModalGate(&modal);
    }

    QTemporaryDir folder;
    SyncState state;
    FakeJsonTransport transport;
    FakeWallClock wall;
    OfflineQueue queue{state, transport, wall, folder.filePath("q.sqlite3")};
    std::unique_ptr<FakeReachability> owned = std::make_unique<FakeReachability>();
    FakeReachability* reachability = owned.get();
    ConnectivityMonitor monitor{state, queue, std::move(owned),
                                std::make_unique<ProbeAddresses>(probe.toString())};
    ModalGate modal;
};

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
