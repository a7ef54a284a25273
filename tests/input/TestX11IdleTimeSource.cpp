// The X server's idle time under Xvfb, with input made through XTEST.
#include "ChildProcess.h"
#include "GlobalInputMonitorFactory.h"
#include "IdleTimeSourceFactory.h"
#include "TempDir.h"
#include "X11IdleTimeSource.h"
#include "XDesktop.h"
#include "XInput2GlobalMonitor.h"
#include "XcbRequests.h"

#include <QTest>
#include <QWidget>

#include <csignal>
#include <memory>

#include <gtest/gtest.h>

namespace {

using Method = X11IdleTimeSource::Method;

// A connection of the test's own, for servers that Qt is not on.
struct Disconnect {
    void operator()(xcb_connection_t* connection) const { xcb_disconnect(connection); }
};
using Connection = std::unique_ptr<xcb_connection_t, Disconnect>;
Connection connectTo(const QByteArray& displayName) {
    return Connection(xcb_connect(displayName.constData(), nullptr));
}

// An Xvfb of the test's own, on a display number it picks itself, for tests that take the
// server away.
class PrivateXServer {
public:
    /// ":<n>", or empty when the server did not start.
    QByteArray displayName() {
        const auto line = server.waitForLine("", std::chrono::seconds(10));
        return line ? ':' + QByteArray::fromStdString(*line) : QByteArray();
    }
    /// Not SIGKILL: a killed Xvfb leaves its lock file and socket in /tmp.
    void stop() { server.stop(SIGTERM); }

private:
    TempDir dir;
    // -displayfd: Xvfb writes the display's number there once it accepts connections.
    ChildProcess server{
        {.argv = {"Xvfb", "-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "320x240x24"},
         .logPath = dir.file("display"),
         .errorPath = dir.file("log")}};
};

// Waits, bounded, until the user has been idle for at least \a seconds.
bool waitUntilIdleFor(X11IdleTimeSource& source, double seconds) {
    return QTest::qWaitFor([&] { return source.secondsSinceLastInput() >= seconds; }, 10000);
}

class X11IdleTimeSourceTest : public ::testing::TestWithParam<Method> {};

TEST_P(X11IdleTimeSourceTest, GrowsWithoutInputAndFallsBackAfterAKeyOrAMouseMove) {
    XDesktop desktop;
    X11IdleTimeSource source(XcbRequests::qtDisplayName(), GetParam());
    ASSERT_TRUE(source.isAvailable());

    const double start = source.secondsSinceLastInput();
    EXPECT_GE(start, 0.0);
    ASSERT_TRUE(waitUntilIdleFor(source, start + 1.0)) << "the idle time did not grow";

    const double beforeKey = source.secondsSinceLastInput();
    desktop.key("Shift_L");
    const double afterKey = source.secondsSinceLastInput();
    EXPECT_LT(afterKey, 1.0);
    EXPECT_LT(afterKey, beforeKey);

    ASSERT_TRUE(waitUntilIdleFor(source, 1.0));
    const double beforeMove = source.secondsSinceLastInput();
    desktop.movePointerBy(3, -3);
    const double afterMove = source.secondsSinceLastInput();
    EXPECT_LT(afterMove, 1.0);
    EXPECT_LT(afterMove, beforeMove);
}

INSTANTIATE_TEST_SUITE_P(BothMethods, X11IdleTimeSourceTest,
                         ::testing::Values(Method::SyncIdleCounter, Method::ScreenSaverInfo),
                         [](const ::testing::TestParamInfo<Method>& param) {
                             return param.param == Method::SyncIdleCounter ? "SyncIdleCounter"
                                                                           : "ScreenSaverInfo";
                         });

TEST(X11IdleTimeSource, FactoriesPickTheX11BackendsOnAnX11Desktop) {
    const auto idle = makeIdleTimeSource();
    const auto* x11 = dynamic_cast<const X11IdleTimeSource*>(idle.get());
    ASSERT_NE(x11, nullptr);
    EXPECT_TRUE(x11->isAvailable());

    const auto global = makeGlobalInputMonitor();
    EXPECT_NE(dynamic_cast<const XInput2GlobalMonitor*>(global.get()), nullptr);
    EXPECT_TRUE(global->isAvailable());
}

TEST(X11IdleTimeSource, NoServerMeansUnavailableAndZero) {
    X11IdleTimeSource source(":4093");
    EXPECT_FALSE(source.isAvailable());
    EXPECT_EQ(source.secondsSinceLastInput(), 0.0);
}

TEST(X11IdleTimeSource, ServerThatGoesAwayMakesItUnavailableWithoutEndingTheProcess) {
    PrivateXServer server;
    ASSERT_FALSE(server.displayName().isEmpty());
    X11IdleTimeSource source(server.displayName());
    ASSERT_TRUE(source.isAvailable());
    EXPECT_GE(source.secondsSinceLastInput(), 0.0);

    server.stop();
    EXPECT_EQ(source.secondsSinceLastInput(), 0.0);
    EXPECT_FALSE(source.isAvailable());
    EXPECT_EQ(source.secondsSinceLastInput(), 0.0);

    // Qt's own connection, to the other server, is untouched.
    QWidget window;
    window.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
}

TEST(XInput2GlobalMonitor, ServerThatGoesAwayMakesItUnavailableWithoutEndingTheProcess) {
    PrivateXServer server;
    ASSERT_FALSE(server.displayName().isEmpty());
    const Connection connection = connectTo(server.displayName());
    XInput2GlobalMonitor monitor(connection.get());
    ASSERT_TRUE(monitor.isAvailable());
    int presses = 0;
    const auto keys = monitor.addKeyMonitor([&presses] { ++presses; });
    ASSERT_NE(keys, nullptr);

    server.stop();
    // Nothing reads this connection: the next selection's round trip finds the server gone.
    EXPECT_EQ(monitor.addMouseMonitor([] {}), nullptr);
    EXPECT_FALSE(monitor.isAvailable());
    EXPECT_EQ(presses, 0);
}

} // namespace
