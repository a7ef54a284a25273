// GNOME's idle monitor, played by an object on a private bus that answers like Mutter does.
#include "FakeClocks.h"
#include "MutterIdleTimeSource.h"
#include "PrivateSessionBus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QTest>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

const QString mutterService = QStringLiteral("org.gnome.Mutter.IdleMonitor");
const QString mutterPath = QStringLiteral("/org/gnome/Mutter/IdleMonitor/Core");

class FakeIdleMonitor : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.gnome.Mutter.IdleMonitor")

public:
    quint64 idleMs = 0;
    bool answering = true; // false: calls are held unanswered
    int calls = 0;

public Q_SLOTS:
    quint64 GetIdletime(const QDBusMessage& message) {
        ++calls;
        if (!answering)
            message.setDelayedReply(true);
        return idleMs;
    }
};

class MutterIdleTimeSourceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(bus.address().isEmpty());
        ASSERT_TRUE(mutter.isConnected());
        ASSERT_TRUE(client.isConnected());
    }
    void TearDown() override {
        QDBusConnection::disconnectFromBus(QStringLiteral("mutter"));
        QDBusConnection::disconnectFromBus(QStringLiteral("client"));
    }

    void startMutter() {
        ASSERT_TRUE(mutter.registerObject(mutterPath, &monitor, QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(mutter.registerService(mutterService));
    }
    std::unique_ptr<MutterIdleTimeSource> makeSource() {
        auto fakeClock = std::make_unique<FakeMonotonicClock>();
        clock = fakeClock.get();
        return std::make_unique<MutterIdleTimeSource>(client, std::move(fakeClock));
    }
    // Queries as the tick does until \a done, bounded; the event loop runs in between.
    bool tickUntil(MutterIdleTimeSource& source, const std::function<bool(double)>& done) {
        return QTest::qWaitFor([&] { return done(source.secondsSinceLastInput()); }, 5000);
    }

    PrivateSessionBus bus;
    QDBusConnection mutter = QDBusConnection::connectToBus(bus.address(), QStringLiteral("mutter"));
    QDBusConnection client = QDBusConnection::connectToBus(bus.address(), QStringLiteral("client"));
    FakeIdleMonitor monitor;
    FakeMonotonicClock* clock = nullptr;
};

TEST_F(MutterIdleTimeSourceTest, OfferedOnlyWhileMutterIsOnTheBus) {
    EXPECT_FALSE(MutterIdleTimeSource::isOffered(client));
    startMutter();
    EXPECT_TRUE(MutterIdleTimeSource::isOffered(client));
}

TEST_F(MutterIdleTimeSourceTest, AnswersFromTheLastReplyGrownByTheClockWithoutWaiting) {
    startMutter();
    monitor.idleMs = 5000;
    auto source = makeSource();
    // The reply cannot have been read yet: nothing ran the event loop.
    EXPECT_EQ(source->secondsSinceLastInput(), 0.0);
    EXPECT_TRUE(source->isAvailable());

    ASSERT_TRUE(tickUntil(*source, [](double s) { return s > 0.0; }));
    EXPECT_DOUBLE_EQ(source->secondsSinceLastInput(), 5.0);
    clock->ns += 1'500'000'000;
    EXPECT_DOUBLE_EQ(source->secondsSinceLastInput(), 6.5);

    // Input: Mutter's figure falls, and the next reply brings it.
    monitor.idleMs = 200;
    ASSERT_TRUE(tickUntil(*source, [](double s) { return s < 1.0; }));
    EXPECT_DOUBLE_EQ(source->secondsSinceLastInput(), 0.2);
}

TEST_F(MutterIdleTimeSourceTest, OneRequestAtATimeHoweverOftenItIsAsked) {
    startMutter();
    monitor.answering = false;
    auto source = makeSource();
    ASSERT_TRUE(QTest::qWaitFor([&] { return monitor.calls == 1; }, 5000));
    for (int i = 0; i < 20; ++i) {
        source->secondsSinceLastInput();
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(monitor.calls, 1);
}

TEST_F(MutterIdleTimeSourceTest, MutterFallingSilentMakesItUnavailableUntilItAnswersAgain) {
    startMutter();
    monitor.idleMs = 1000;
    auto source = makeSource();
    ASSERT_TRUE(tickUntil(*source, [](double s) { return s > 0.0; }));

    monitor.answering = false;
    clock->ns += 3'000'000'000; // no answer for three seconds
    EXPECT_EQ(source->secondsSinceLastInput(), 0.0);
    EXPECT_FALSE(source->isAvailable());

    monitor.answering = true;
    monitor.idleMs = 7000;
    // The held call times out; the next one is answered.
    ASSERT_TRUE(tickUntil(*source, [](double s) { return s > 0.0; }));
    EXPECT_TRUE(source->isAvailable());
    EXPECT_DOUBLE_EQ(source->secondsSinceLastInput(), 7.0);
}

TEST_F(MutterIdleTimeSourceTest, MutterLeavingTheBusMakesItUnavailable) {
    startMutter();
    monitor.idleMs = 4000;
    auto source = makeSource();
    ASSERT_TRUE(tickUntil(*source, [](double s) { return s > 0.0; }));

    ASSERT_TRUE(mutter.unregisterService(mutterService));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            source->secondsSinceLastInput();
            return !source->isAvailable();
        },
        5000));
    EXPECT_EQ(source->secondsSinceLastInput(), 0.0);

    ASSERT_TRUE(mutter.registerService(mutterService));
    ASSERT_TRUE(tickUntil(*source, [](double s) { return s > 0.0; }));
    EXPECT_TRUE(source->isAvailable());
}

} // namespace

#include "TestMutterIdleTimeSource.moc"
