// The Wayland idle time from a real compositor: a headless sway, with input typed by wtype.
#include "IdleTimeSourceFactory.h"
#include "WaylandIdleTimeSource.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <gtest/gtest.h>
#include <unistd.h>

namespace {

constexpr int boundMs = 10000;

// sway refuses to run as root, which CI is: it then runs as "nobody", in a runtime folder of
// nobody's. This process, as root, still reaches its socket.
constexpr uid_t nobody = 65534;

class HeadlessSway {
public:
    HeadlessSway() {
        const QString config = runtime.filePath(QStringLiteral("sway.conf"));
        QFile file(config);
        if (!file.open(QIODevice::WriteOnly) || file.write("xwayland disable\n") < 0)
            return;
        file.close();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        env.insert(QStringLiteral("WLR_BACKENDS"), QStringLiteral("headless"));
        env.insert(QStringLiteral("WLR_LIBINPUT_NO_DEVICES"), QStringLiteral("1"));
        sway.setProcessEnvironment(env);
        sway.setProcessChannelMode(QProcess::ForwardedChannels);
        const QStringList swayCommand{QStringLiteral("sway"), QStringLiteral("-c"), config};
        if (geteuid() == 0) {
            if (chown(QFile::encodeName(runtime.path()).constData(), nobody, nobody) != 0)
                return;
            sway.start(QStringLiteral("setpriv"),
                       QStringList{QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                                   QStringLiteral("--clear-groups")} +
                           swayCommand);
        } else {
            sway.start(swayCommand.first(), swayCommand.mid(1));
        }
        // The test tells a start that failed by the socket that is not there.
        static_cast<void>(QTest::qWaitFor(
            [this] { return !socketPath().isEmpty() || sway.state() == QProcess::NotRunning; }, boundMs));
    }

    // The compositor's socket, once it is there.
    QString socketPath() const {
        const QStringList sockets =
            QDir(runtime.path()).entryList({QStringLiteral("wayland-?")}, QDir::System);
        return sockets.isEmpty() ? QString() : runtime.filePath(sockets.first());
    }

    bool type(const QString& text) {
        QProcess wtype;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("WAYLAND_DISPLAY"), socketPath());
        wtype.setProcessEnvironment(env);
        wtype.start(QStringLiteral("wtype"), {text});
        return wtype.waitForFinished(boundMs) && wtype.exitStatus() == QProcess::NormalExit &&
               wtype.exitCode() == 0;
    }

    void kill() {
        sway.kill();
        sway.waitForFinished(boundMs);
    }

private:
    QTemporaryDir runtime;
    QProcess sway;
};

TEST(WaylandIdleTimeSource, GrowsWithoutInputFallsAfterAKeyAndIsUnavailableOnceTheCompositorIsGone) {
    HeadlessSway sway;
    ASSERT_FALSE(sway.socketPath().isEmpty()) << "sway did not start";
    qputenv("WAYLAND_DISPLAY", QFile::encodeName(sway.socketPath()));

    // The socket may be there a moment before sway accepts connections on it.
    std::unique_ptr<IdleTimeSource> source;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            source = makeIdleTimeSource(QStringLiteral(CORLUNE_WAYLAND_IDLE_MODULE));
            return source->isAvailable();
        },
        boundMs));

    // Without input the compositor says "idle" once the notification's timeout has passed; the
    // figure starts there and grows with the clock.
    const double notifyAfter = WaylandIdleTimeSource::notifyAfterMs / 1000.0;
    EXPECT_LT(source->secondsSinceLastInput(), notifyAfter);
    ASSERT_TRUE(QTest::qWaitFor([&] { return source->secondsSinceLastInput() > 0.0; }, boundMs));
    const double idle = source->secondsSinceLastInput();
    EXPECT_GE(idle, notifyAfter);
    ASSERT_TRUE(QTest::qWaitFor([&] { return source->secondsSinceLastInput() >= idle + 0.5; }, boundMs))
        << "the idle time did not grow";

    ASSERT_TRUE(sway.type(QStringLiteral("a")));
    EXPECT_TRUE(QTest::qWaitFor([&] { return source->secondsSinceLastInput() < notifyAfter; }, boundMs))
        << "a key did not bring the idle time down";

    sway.kill();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !source->isAvailable(); }, boundMs));
    EXPECT_EQ(source->secondsSinceLastInput(), 0.0);
}

} // namespace
