#pragma once

#include "ChildProcess.h"
#include "XDesktop.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class NetworkNamespace;

/// A stretch of wall-clock time in whole seconds since the epoch, both ends included: from the
/// second in which the test began an action to the second in which it saw it done.
struct WallSpan {
    std::int64_t from = 0;
    std::int64_t to = 0;
};

/// The real corlune-track, run with a home of its own (settings, offline queue) under
/// `homeDir`, inside a network namespace when one is given, and driven the way a user drives
/// it: through its windows, with the keyboard and the mouse. Launches are counted; each one gets
/// a new process in the same home. Every wait is bounded; a step that cannot be done throws
/// std::runtime_error.
class TimeClockClient {
public:
    /// The loopback port of the service the client was built for (http://127.0.0.1[:PORT]); 0
    /// when it was built for another.
    static int servicePort();

    /// \a environment: NAME=value entries for the program, over the harness's own.
    TimeClockClient(XDesktop& desktop, std::string homeDir, const NetworkNamespace* ns = nullptr,
                    std::vector<std::string> environment = {});
    ~TimeClockClient();
    TimeClockClient(const TimeClockClient&) = delete;
    TimeClockClient& operator=(const TimeClockClient&) = delete;

    /// Returns once the main window shows.
    void launch();
    /// For a launch that must end without a window: its exit status, or nothing when it still
    /// runs after \a timeout.
    std::optional<int> launchExpectingExit(std::chrono::milliseconds timeout);
    /// A first launch in a fresh home: signs in as demo on the job demo through the dialog and
    /// dismisses the first-run notice.
    void launchAndSignIn();
    /// After a later launch: waits until the program has signed in, by itself (when the secret
    /// store kept the password) or through the dialog, and finished starting up.
    bool waitUntilSignedIn(std::chrono::milliseconds timeout = std::chrono::seconds(20));

    /// Presses a button; the span runs from just before the press to the moment the program
    /// took events again, so every instant the press produced lies within it.
    WallSpan pressClockButton();
    WallSpan pressPauseButton();
    /// Presses \a count function keys, or clicks \a count times into open space, in the main
    /// window; returns once the program has taken them.
    void pressKeys(int count);
    void clickIdleArea(int count);

    /// Quits as a user does, with Ctrl+Q in the main window; the exit status.
    int quit();
    /// SIGKILL, as a crash or a power cut would end it.
    void kill();
    /// Sends \a signal; the exit status once it has ended.
    int stop(int signal);
    bool running();
    pid_t pid() const;
    /// When the last launch began: the zero of every "from exec" figure.
    ChildProcess::Clock::time_point startedAt() const { return process->startedAt(); }
    XDesktop::WindowId mainWindow() const { return window; }
    /// Every launch's output.
    std::string log() const;

private:
    void start();
    void signInThroughDialog();
    void dismissFirstRunNotice();
    /// Waits until the GUI thread takes events again.
    bool settle(std::chrono::milliseconds timeout = std::chrono::seconds(25));
    std::optional<XDesktop::WindowId> findWindow(const std::function<bool(const std::string&)>& matches);
    std::optional<std::uint64_t> statusLine();
    XDesktop::WindowId waitForWindow(const std::string& what,
                                     const std::function<bool(const std::string&)>& matches);
    void waitUntilGone(const std::string& what, XDesktop::WindowId window);
    WallSpan press(int x, int y);

    XDesktop& desktop;
    std::string homeDir;
    const NetworkNamespace* ns = nullptr;
    std::vector<std::string> environment;
    int launches = 0;
    std::unique_ptr<ChildProcess> process;
    XDesktop::WindowId window = 0;
};
