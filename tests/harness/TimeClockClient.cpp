#include "TimeClockClient.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace {

constexpr auto windowWait = std::chrono::seconds(20);
// The buttons' centres in the main window's 680 x 480 content, and open space away from every
// control.
constexpr int clockButtonX = 84, pauseButtonX = 220, buttonsY = 422, idleAreaX = 520, idleAreaY = 100;
// Function keys do nothing in the window, whichever control has the focus.
const char* const harmlessKeys[] = {"F6", "F7", "F8", "F9"};

std::int64_t wallSecondsNow() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

bool isMainWindow(const std::string& title) {
    return title == "Corlune Track";
}
bool isSignInFailure(const std::string& title) {
    return title.starts_with("Sign in failed");
}
bool isSignInDialog(const std::string& title) {
    return title.starts_with("Sign in") && !isSignInFailure(title);
}
bool isFirstRunNotice(const std::string& title) {
    return title.starts_with("Welcome to Corlune Track");
}

} // namespace

int TimeClockClient::servicePort() {
    return CORLUNE_CLIENT_SERVICE_PORT;
}

TimeClockClient::TimeClockClient(XDesktop& desktop, std::string homeDir, const NetworkNamespace* ns,
                                 std::vector<std::string> environment)
    : desktop(desktop)
    , homeDir(std::move(homeDir))
    , ns(ns)
    , environment(std::move(environment)) {
    for (const char* dir : {"/config", "/data", "/cache"})
        std::filesystem::create_directories(this->homeDir + dir);
}

TimeClockClient::~TimeClockClient() = default;

pid_t TimeClockClient::pid() const {
    return process ? process->pid() : -1;
}

bool TimeClockClient::running() {
    return process && process->running();
}

std::string TimeClockClient::log() const {
    std::string text;
    for (int n = 1; n <= launches; ++n) {
        const std::string path = homeDir + "/client-" + std::to_string(n) + ".log";
        if (std::filesystem::exists(path)) {
            std::ifstream in(path);
            text += "--- launch " + std::to_string(n) + ":\n" +
                    std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
    }
    return text;
}

void TimeClockClient::launch() {
    start();
    window = waitForWindow("the main window", isMainWindow);
}

std::optional<int> TimeClockClient::launchExpectingExit(std::chrono::milliseconds timeout) {
    start();
    return process->waitForExit(timeout);
}

void TimeClockClient::start() {
    if (running())
        throw std::logic_error("the client is already running");
    ++launches;
    std::vector<std::string> variables = {
        "XDG_CONFIG_HOME=" + homeDir + "/config",
        "XDG_DATA_HOME=" + homeDir + "/data",
        "XDG_CACHE_HOME=" + homeDir + "/cache",
        "QT_QPA_PLATFORM=xcb",
    };
    variables.insert(variables.end(), environment.begin(), environment.end());
    process = std::make_unique<ChildProcess>(
        ChildProcess::Options{.argv = {CORLUNE_CLIENT_BINARY},
                              .environment = variables,
                              .logPath = homeDir + "/client-" + std::to_string(launches) + ".log",
                              .ns = ns});
}

std::optional<XDesktop::WindowId>
TimeClockClient::findWindow(const std::function<bool(const std::string&)>& matches) {
    return desktop.findWindow(pid(), matches);
}

XDesktop::WindowId TimeClockClient::waitForWindow(const std::string& what,
                                                  const std::function<bool(const std::string&)>& matches) {
    std::optional<XDesktop::WindowId> found;
    bool failedSignIn = false;
    desktop.waitUntil(
        [&] {
            if (!running())
                return true;
            failedSignIn = findWindow(isSignInFailure).has_value();
            found = findWindow(matches);
            return found || failedSignIn;
        },
        windowWait);
    if (found)
        return *found;
    if (failedSignIn)
        throw std::runtime_error("the service refused the sign-in (\"Sign in failed\") while waiting for " +
                                 what);
    if (!running())
        throw std::runtime_error("the client ended while waiting for " + what + ":\n" + log());
    throw std::runtime_error(what + " did not show within " + std::to_string(windowWait.count()) + " s");
}

void TimeClockClient::waitUntilGone(const std::string& what, XDesktop::WindowId gone) {
    if (!desktop.waitUntil([&] { return !desktop.isViewable(gone); }, windowWait))
        throw std::runtime_error(what + " did not close");
}

void TimeClockClient::signInThroughDialog() {
    const XDesktop::WindowId dialog = waitForWindow("the sign-in dialog", isSignInDialog);
    if (!desktop.focus(dialog))
        throw std::runtime_error("the sign-in dialog did not take the focus");
    // The focus starts in the employee field; Tab goes on to the password, then the job.
    desktop.type("demo");
    for (int field = 0; field < 2; ++field) {
        desktop.key("Tab");
        desktop.type("demo");
    }
    desktop.key("Return");
    waitUntilGone("the sign-in dialog", dialog);
}

void TimeClockClient::dismissFirstRunNotice() {
    const XDesktop::WindowId notice = waitForWindow("the first-run notice", isFirstRunNotice);
    if (!desktop.focus(notice))
        throw std::runtime_error("the first-run notice did not take the focus");
    desktop.key("Return");
    waitUntilGone("the first-run notice", notice);
}

void TimeClockClient::launchAndSignIn() {
    launch();
    signInThroughDialog();
    dismissFirstRunNotice();
    if (!settle())
        throw std::runtime_error("the client does not take events after start-up");
}

bool TimeClockClient::waitUntilSignedIn(std::chrono::milliseconds timeout) {
    // Start-up runs in one go unless a dialog opens: a program that answers a ping while no
    // sign-in dialog shows has finished it.
    return desktop.waitUntil(
        [&] {
            if (running() && findWindow(isSignInDialog))
                signInThroughDialog();
            return desktop.ping(window, std::chrono::seconds(1)) && !findWindow(isSignInDialog);
        },
        timeout);
}

bool TimeClockClient::settle(std::chrono::milliseconds timeout) {
    // Qt answers a ping while it takes in the events that came before it, and handles input a
    // moment later in the same turn of its loop: the second answer comes after that turn. (That
    // the input reached the program before the first ping did is likely, not certain, on a busy
    // X server; what a press must lead to is waited for by press().)
    return desktop.ping(window, timeout) && desktop.ping(window, timeout);
}

std::optional<std::uint64_t> TimeClockClient::statusLine() {
    // "Status: ...", 24 px from the left and 152 px from the top, 632 x 24.
    return desktop.digest(window, 24, 152, 632, 24);
}

WallSpan TimeClockClient::press(int x, int y) {
    const std::optional<std::uint64_t> before = statusLine();
    WallSpan span{wallSecondsNow()};
    desktop.click(window, x, y);
    // Every press of the two buttons ends by showing a new status, after its reports are sent or
    // queued. Waiting for it, not merely for the program to take events, keeps the next press
    // from reaching the program before this one has been handled. The wait outlasts the longest
    // a report can hold the window.
    if (!desktop.waitUntil([&] { return statusLine() != before; }, std::chrono::seconds(25)))
        throw std::runtime_error("the status did not change after a press");
    if (!settle())
        throw std::runtime_error("the client did not take events again after a press");
    span.to = wallSecondsNow();
    return span;
}

WallSpan TimeClockClient::pressClockButton() {
    return press(clockButtonX, buttonsY);
}

WallSpan TimeClockClient::pressPauseButton() {
    return press(pauseButtonX, buttonsY);
}

void TimeClockClient::pressKeys(int count) {
    if (!desktop.focus(window))
        throw std::runtime_error("the main window did not take the focus");
    for (int n = 0; n < count; ++n)
        desktop.key(harmlessKeys[n % std::size(harmlessKeys)]);
    if (!settle())
        throw std::runtime_error("the client did not take the keys");
}

void TimeClockClient::clickIdleArea(int count) {
    for (int n = 0; n < count; ++n)
        desktop.click(window, idleAreaX, idleAreaY);
    if (!settle())
        throw std::runtime_error("the client did not take the clicks");
}

int TimeClockClient::quit() {
    if (!desktop.focus(window))
        throw std::runtime_error("the main window did not take the focus");
    desktop.key("Control_L+q");
    const std::optional<int> status = process->waitForExit(std::chrono::seconds(20));
    if (!status)
        throw std::runtime_error("the client did not quit on Ctrl+Q");
    return *status;
}

void TimeClockClient::kill() {
    process->stop(SIGKILL, std::chrono::seconds(10));
}

int TimeClockClient::stop(int signal) {
    return process->stop(signal);
}
