// The Wayland idle time from a real compositor: a headless sway, with input typed by wtype.
#include "ChildProcess.h"
#include "IdleTimeSourceFactory.h"
#include "TempDir.h"
#include "WaitFor.h"
#include "WaylandIdleTimeSource.h"

#include <QTest>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>

#include <gtest/gtest.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
constexpr std::chrono::milliseconds bound = 10s;

// sway refuses to run as root, which CI is (it checks that root cannot be regained); it then
// runs as nobody, in a runtime folder of nobody's, and this process, as root, still reaches
// its socket. Changing the user clears the parent-death signal unless setpriv keeps it.
std::vector<std::string> swayCommand(const TempDir& runtime) {
    const std::string config = runtime.file("sway.conf");
    std::ofstream(config) << "xwayland disable\n";
    std::vector<std::string> command{"sway", "-c", config};
    constexpr uid_t nobody = 65534;
    if (geteuid() == 0 && chown(runtime.path().c_str(), nobody, nobody) == 0)
        command.insert(command.begin(),
                       {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--pdeathsig=keep"});
    return command;
}

// The compositor's socket, once it is there.
std::string socketIn(const TempDir& runtime) {
    for (const auto& entry : std::filesystem::directory_iterator(runtime.path())) {
        if (entry.is_socket() && entry.path().filename().string().starts_with("wayland-"))
            return entry.path().string();
    }
    return {};
}

TEST(WaylandIdleTimeSource, GrowsWithoutInputFallsAfterAKeyAndIsUnavailableOnceTheCompositorIsGone) {
    const TempDir runtime;
    ChildProcess sway({.argv = swayCommand(runtime),
                       .environment = {"XDG_RUNTIME_DIR=" + runtime.path().string(), "WLR_BACKENDS=headless",
                                       "WLR_LIBINPUT_NO_DEVICES=1", "WAYLAND_DISPLAY=", "DISPLAY="},
                       .logPath = runtime.file("sway.log")});
    std::string socket;
    ASSERT_TRUE(waitFor(bound, [&] { return !(socket = socketIn(runtime)).empty() || !sway.running(); }));
    ASSERT_FALSE(socket.empty()) << sway.log();
    qputenv("WAYLAND_DISPLAY", QByteArray::fromStdString(socket));

    // The socket may be there a moment before sway accepts connections on it.
    std::unique_ptr<IdleTimeSource> source;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            source = makeIdleTimeSource(QStringLiteral(CORLUNE_WAYLAND_IDLE_MODULE));
            return source->isAvailable();
        },
        bound.count()));

    // Without input the compositor says "idle" once the notification's timeout has passed; the
    // figure starts there and grows with the clock.
    const double notifyAfter = WaylandIdleTimeSource::notifyAfterMs / 1000.0;
    EXPECT_LT(source->secondsSinceLastInput(), notifyAfter);
    ASSERT_TRUE(QTest::qWaitFor([&] { return source->secondsSinceLastInput() > 0.0; }, bound.count()));
    const double idle = source->secondsSinceLastInput();
    EXPECT_GE(idle, notifyAfter);
    ASSERT_TRUE(QTest::qWaitFor([&] { return source->secondsSinceLastInput() >= idle + 0.5; }, bound.count()))
        << "the idle time did not grow";

    ChildProcess wtype({.argv = {"wtype", "a"},
                        .environment = {"WAYLAND_DISPLAY=" + socket},
                        .logPath = runtime.file("wtype.log")});
    ASSERT_EQ(wtype.waitForExit(bound), 0) << wtype.log();
    EXPECT_TRUE(QTest::qWaitFor([&] { return source->secondsSinceLastInput() < notifyAfter; }, bound.count()))
        << "a key did not bring the idle time down";

    sway.signal(SIGKILL);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !source->isAvailable(); }, bound.count()));
    EXPECT_EQ(source->secondsSinceLastInput(), 0.0);
}

} // namespace
