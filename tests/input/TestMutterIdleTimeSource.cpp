// GNOME's idle monitor, played by an object on a private bus that answers as Mutter does.
#include "FakeClocks.h"
#include "MutterIdleTimeSource.h"
#include "PrivateSessionBus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QTest>

#include <gtest/gtest.h>

namespace {

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
        message.setDelayedReply(!answering);
        return idleMs;
    }
};

TEST(MutterIdleTimeSource, AnswersFromTheLastReplyWithoutWaitingAndOnlyWhileMutterAnswers) {
    PrivateSessionBus bus;
    ASSERT_FALSE(bus.address().isEmpty());
    QDBusConnection mutter = QDBusConnection::connectToBus(bus.address(), "mutter");
    FakeIdleMonitor monitor;
    ASSERT_TRUE(mutter.registerObject("/org/gnome/Mutter/IdleMonitor/Core", &monitor,
                                      QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(mutter.registerService("org.gnome.Mutter.IdleMonitor"));
    monitor.idleMs = 5000;
    auto owned = std::make_unique<FakeMonotonicClock>();
    FakeMonotonicClock& clock = *owned;
    MutterIdleTimeSource source(QDBusConnection::connectToBus(bus.address(), "client"), std::move(owned));
    const auto idleUntil = [&](auto done) {
        return QTest::qWaitFor([&] { return done(source.secondsSinceLastInput()); }, 5000);
    };

    EXPECT_EQ(source.secondsSinceLastInput(), 0.0); // no reply yet, and none waited for
    ASSERT_TRUE(idleUntil([](double s) { return s > 0.0; }));
    EXPECT_DOUBLE_EQ(source.secondsSinceLastInput(), 5.0);
    clock.ns += 1'500'000'000;
    EXPECT_DOUBLE_EQ(source.secondsSinceLastInput(), 6.5); // grown by the clock since the reply

    monitor.answering = false;
    const int answered = monitor.calls;
    ASSERT_TRUE(idleUntil([&](double) { return monitor.calls > answered; }));
    for (int i = 0; i < 20; ++i) {
        source.secondsSinceLastInput();
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(monitor.calls, answered + 1) << "one request at a time";
    clock.ns += 3'000'000'000; // silent for three seconds
    EXPECT_EQ(source.secondsSinceLastInput(), 0.0);
    EXPECT_FALSE(source.isAvailable());

    monitor.answering = true;
    monitor.idleMs = 200;
    ASSERT_TRUE(idleUntil([](double s) { return s > 0.0; }));
    EXPECT_DOUBLE_EQ(source.secondsSinceLastInput(), 0.2);
    EXPECT_TRUE(source.isAvailable());

    ASSERT_TRUE(mutter.unregisterService("org.gnome.Mutter.IdleMonitor"));
    EXPECT_TRUE(idleUntil([&](double) { return !source.isAvailable(); })) << "Mutter left the bus";
}

} // namespace

#include "TestMutterIdleTimeSource.moc"
