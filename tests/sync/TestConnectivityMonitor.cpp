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
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

const QHostAddress probe(QStringLiteral("192.0.2.10"));

// The monitor's 3 s timer, its one child while it is set up.
QTimer* reachTimer(const ConnectivityMonitor& monitor) {
    return monitor.findChild<QTimer*>();
}

struct RecordingBanner final : OfflineBannerView {
    void setOfflineBannerVisible(bool v) override {
        visible = v;
        ++writes;
    }
    bool visible = false;
    int writes = 0;
};

/// A name lookup that blocks until released and remembers the thread it ran on. Its state is
/// shared with the lookup threads, which may outlive the test.
class GatedLookup {
public:
    ProbeAddresses::Lookup function() const {
        return [state = state](const QString&) {
            std::unique_lock lock(state->mutex);
            ++state->entered;
            state->thread = std::this_thread::get_id();
            state->changed.notify_all();
            state->changed.wait_for(lock, std::chrono::seconds(10), [&] { return state->released; });
            ++state->returned;
            return state->result;
        };
    }
    bool waitEntered(int count = 1) const {
        std::unique_lock lock(state->mutex);
        return state->changed.wait_for(lock, std::chrono::seconds(5),
                                       [&] { return state->entered >= count; });
    }
    void release() const {
        const std::lock_guard lock(state->mutex);
        state->released = true;
        state->changed.notify_all();
    }
    void answer(QList<QHostAddress> addresses) const {
        const std::lock_guard lock(state->mutex);
        state->result = std::move(addresses);
    }
    std::thread::id thread() const {
        const std::lock_guard lock(state->mutex);
        return state->thread;
    }
    int returned() const {
        const std::lock_guard lock(state->mutex);
        return state->returned;
    }

private:
    struct State {
        std::mutex mutex;
        std::condition_variable changed;
        bool released = false;
        int entered = 0;
        int returned = 0;
        std::thread::id thread;
        QList<QHostAddress> result{probe};
    };
    std::shared_ptr<State> state = std::make_shared<State>();
};

class ConnectivityMonitorTest : public ::testing::Test {
protected:
    ConnectivityMonitorTest() { reachability->reachable = {probe}; }
    ~ConnectivityMonitorTest() override { lookup.release(); }

    /// By default a monitor for a literal address, so that no lookup is involved.
    std::unique_ptr<ConnectivityMonitor> makeMonitor(const QString& host = probe.toString()) {
        auto ownedAddresses = std::make_unique<ProbeAddresses>(host, lookup.function());
        addresses = ownedAddresses.get();
        auto monitor =
            std::make_unique<ConnectivityMonitor>(state, queue, std::move(owned), std::move(ownedAddresses));
        monitor->setBannerView(&banner);
        monitor->setModalGate(&modal);
        return monitor;
    }
    void queueThree() {
        for (const char* path : {"/a", "/b", "/c"})
            queue.enqueueRequestMethod("POST", QString::fromLatin1(path), QJsonObject{});
    }

    QTemporaryDir dir;
    SyncState state;
    FakeJsonTransport transport;
    OfflineQueue queue{state, transport, dir.filePath("q.sqlite3")};
    std::unique_ptr<FakeReachability> owned = std::make_unique<FakeReachability>();
    FakeReachability* reachability = owned.get();
    ProbeAddresses* addresses = nullptr; // owned by the monitor
    RecordingBanner banner;
    ModalGate modal;
    GatedLookup lookup;
};

TEST_F(ConnectivityMonitorTest, TheFirstPollRunsAtOnceAndFlushes) {
    queueThree();
    auto monitor = makeMonitor();
    monitor->setUp();
    EXPECT_EQ(transport.paths(), (QStringList{"/a", "/b", "/c"}));
    EXPECT_TRUE(queue.pendingQueue().isEmpty());
    EXPECT_TRUE(state.isOnline);
    EXPECT_FALSE(banner.visible);
    ASSERT_NE(reachTimer(*monitor), nullptr);
    EXPECT_EQ(reachTimer(*monitor)->interval(), 3000);
    EXPECT_TRUE(reachTimer(*monitor)->isActive());
}

TEST_F(ConnectivityMonitorTest, OfflineShowsTheBannerUntilAPollFindsTheWayBack) {
    reachability->reachable.clear();
    auto monitor = makeMonitor();
    monitor->setUp();
    EXPECT_FALSE(state.isOnline);
    EXPECT_TRUE(banner.visible);

    queueThree(); // reports made while offline
    monitor->updateReachability();
    EXPECT_TRUE(transport.requests().empty());
    EXPECT_TRUE(banner.visible);

    reachability->reachable = {probe};
    monitor->updateReachability(); // hides the banner and flushes in the same poll
    EXPECT_TRUE(state.isOnline);
    EXPECT_FALSE(banner.visible);
    EXPECT_EQ(transport.paths().size(), 3);
    EXPECT_TRUE(queue.pendingQueue().isEmpty());
}

TEST_F(ConnectivityMonitorTest, WithoutABackendOrAHostItIsAlwaysOnlineAndStillFlushes) {
    const struct {
        const char* name;
        bool available;
        QString host;
    } cases[] = {{"no backend", false, probe.toString()}, {"no host", true, QString()}};
    for (const auto& c : cases) {
        auto fake = std::make_unique<FakeReachability>();
        fake->available = c.available;
        FakeReachability* backend = fake.get();
        state.isOnline = false;
        banner.visible = true;
        transport.clear();
        queueThree();
        ConnectivityMonitor monitor(state, queue, std::move(fake),
                                    std::make_unique<ProbeAddresses>(c.host, lookup.function()));
        monitor.setBannerView(&banner);
        monitor.setUp();
        EXPECT_TRUE(state.isOnline) << c.name;
        EXPECT_FALSE(banner.visible) << c.name;
        EXPECT_EQ(backend->reads, 0) << c.name;
        EXPECT_EQ(transport.paths().size(), 3) << c.name;
    }
}

TEST_F(ConnectivityMonitorTest, TheTimerPollsButNotWhileAModalDialogIsOpen) {
    auto monitor = makeMonitor();
    monitor->setUp();
    reachTimer(*monitor)->setInterval(5);
    const int afterSetUp = reachability->reads;
    EXPECT_TRUE(QTest::qWaitFor([&] { return reachability->reads >= afterSetUp + 2; }, 2000));
    {
        ModalScope dialog(modal);
        QSignalSpy fired(reachTimer(*monitor), &QTimer::timeout);
        const int before = reachability->reads;
        EXPECT_TRUE(fired.wait(2000) && fired.wait(2000));
        EXPECT_EQ(reachability->reads, before);
    }
    const int closed = reachability->reads;
    EXPECT_TRUE(QTest::qWaitFor([&] { return reachability->reads > closed; }, 2000));

    monitor->tearDown();
    EXPECT_EQ(reachTimer(*monitor), nullptr);
}

TEST_F(ConnectivityMonitorTest, TheTimerHoldsTheMonitorOnlyWeakly) {
    auto monitor = makeMonitor();
    monitor->setUp();
    // Let the timer outlive the monitor it polls.
    std::unique_ptr<QTimer> timer(reachTimer(*monitor));
    timer->setParent(nullptr);
    timer->setInterval(1);
    monitor.reset();
    QSignalSpy fired(timer.get(), &QTimer::timeout);
    EXPECT_TRUE(fired.wait(2000));
    EXPECT_TRUE(fired.wait(2000)); // still alive after the firing with nobody to poll
}

TEST_F(ConnectivityMonitorTest, NameLookupNeverRunsOnTheGuiThread) {
    auto monitor = makeMonitor(QStringLiteral("sync.example.invalid"));
    ASSERT_TRUE(lookup.waitEntered());
    EXPECT_NE(lookup.thread(), std::this_thread::get_id());

    // The lookup hangs; polls answer at once, as offline, and leave it be.
    monitor->setUp();
    monitor->updateReachability();
    EXPECT_FALSE(state.isOnline);
    EXPECT_TRUE(banner.visible);
    EXPECT_EQ(reachability->reads, 0);

    // Its answer brings an immediate poll, not one 3 s later.
    queueThree();
    lookup.release();
    EXPECT_TRUE(QTest::qWaitFor([&] { return state.isOnline; }, 5000));
    EXPECT_FALSE(banner.visible);
    EXPECT_EQ(transport.paths().size(), 3);
}

TEST_F(ConnectivityMonitorTest, AFailedLookupKeepsTheAddressesItHad) {
    lookup.release();
    auto monitor = makeMonitor(QStringLiteral("sync.example.invalid"));
    monitor->setUp();
    ASSERT_TRUE(QTest::qWaitFor([&] { return state.isOnline; }, 5000));

    // Offline, DNS fails too; the routes are still asked about the known address.
    lookup.answer({});
    reachability->reachable.clear();
    monitor->updateReachability();
    EXPECT_FALSE(state.isOnline);
    // The poll asked for a new lookup; wait until its empty answer has been taken in.
    ASSERT_TRUE(QTest::qWaitFor([&] { return lookup.returned() == 2 && !addresses->isLookingUp(); }, 5000));
    QCoreApplication::processEvents();
    EXPECT_EQ(addresses->addresses(), QList<QHostAddress>{probe});
    reachability->reachable = {probe};
    monitor->updateReachability();
    EXPECT_TRUE(state.isOnline);
}

TEST(ProbeAddresses, ResolvesLocalhostOffTheCallingThread) {
    ProbeAddresses addresses(QStringLiteral("localhost"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !addresses.addresses().isEmpty(); }, 5000));
    EXPECT_TRUE(addresses.addresses().front().isLoopback());

    ProbeAddresses literal(QStringLiteral("::1"));
    EXPECT_EQ(literal.addresses(), QList<QHostAddress>{QHostAddress::LocalHostIPv6});
    EXPECT_FALSE(literal.isLookingUp());
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
