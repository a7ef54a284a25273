// The real program, twice in one session: a second launch shows the first's window and ends.
// The session has a bus of the test's own with a StatusNotifierWatcher, so the first has a tray,
// and closing its window hides it.
#include "ChildProcess.h"
#include "NetworkNamespace.h"
#include "PrivateSessionBus.h"
#include "ServerProcess.h"
#include "TempDir.h"
#include "TimeClockClient.h"
#include "XDesktop.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

std::string runtimeDir(const TempDir& folder) {
    std::filesystem::create_directory(folder.file("run"));
    std::filesystem::permissions(folder.file("run"), std::filesystem::perms::owner_all);
    return "XDG_RUNTIME_DIR=" + folder.file("run");
}

TEST(SingleInstance, ASecondLaunchShowsTheFirstsWindowAndEnds) {
    if (::geteuid() != 0 || !std::getenv("DISPLAY"))
        GTEST_SKIP() << "needs root for a network namespace, and a display (scripts/lib/with-desktop)";
    TempDir folder;
    NetworkNamespace ns;
    ServerProcess service({"--db", folder.file("service.db"), "--demo"}, TimeClockClient::servicePort(), &ns);
    PrivateSessionBus bus;
    const std::string busAddress = "DBUS_SESSION_BUS_ADDRESS=" + bus.address().toStdString();
    ChildProcess watcher(
        {.argv = {CORLUNE_TRAY_WATCHER}, .environment = {busAddress}, .logPath = folder.file("watcher.log")});
    ASSERT_TRUE(watcher.waitForLine("ready", 10s));
    const std::vector<std::string> session = {busAddress, runtimeDir(folder)};
    XDesktop desktop;
    TimeClockClient first(desktop, folder.file("first"), &ns, session);
    first.launchAndSignIn();
    EXPECT_TRUE(watcher.waitForLine("registered", 10s)) << "no tray icon";

    desktop.requestClose(first.mainWindow());
    EXPECT_TRUE(desktop.waitUntil([&] { return !desktop.isViewable(first.mainWindow()); }, 10s));
    TimeClockClient second(desktop, folder.file("second"), &ns, session);
    EXPECT_EQ(second.launchExpectingExit(20s), 0) << second.log();
    EXPECT_TRUE(desktop.waitUntil([&] { return desktop.isViewable(first.mainWindow()); }, 10s));
    EXPECT_EQ(first.stop(SIGTERM), 0) << first.log();
}

TEST(SingleInstance, WithoutASessionBusTheLockTurnsASecondInstanceAway) {
    if (!std::getenv("DISPLAY"))
        GTEST_SKIP() << "needs a display (scripts/lib/with-desktop)";
    TempDir folder;
    const std::string runtime = runtimeDir(folder);
    const int held = ::open((folder.file("run") + "/com.corlune.Track.lock").c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
    XDesktop desktop;
    TimeClockClient client(desktop, folder.file("client"), nullptr,
                           {"DBUS_SESSION_BUS_ADDRESS=unix:path=" + folder.file("no-bus"), runtime});
    EXPECT_EQ(client.launchExpectingExit(10s), 1);
    EXPECT_NE(client.log().find("already running"), std::string::npos) << client.log();
    ::close(held);
}

} // namespace
