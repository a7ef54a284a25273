#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include <sys/types.h>

struct _XDisplay;

/// The test's own connection to the X display (DISPLAY) that the client shows its windows on:
/// finds a program's windows, gives input through XTEST as a user would, asks a window whether
/// its program is responsive and reads what it shows. There is no window manager: top-level
/// windows are the root's children. Use from one thread.
class XDesktop {
public:
    using WindowId = unsigned long;

    /// Throws std::runtime_error when the display cannot be opened or lacks XTEST.
    XDesktop();
    ~XDesktop();
    XDesktop(const XDesktop&) = delete;
    XDesktop& operator=(const XDesktop&) = delete;

    /// A viewable top-level window of process \a pid whose title passes \a matches.
    std::optional<WindowId> findWindow(pid_t pid, const std::function<bool(const std::string&)>& matches);
    std::string titleOf(WindowId window);
    /// Whether \a window exists and is mapped.
    bool isViewable(WindowId window);

    /// Gives \a window the keyboard focus and waits until the server has it there.
    bool focus(WindowId window);
    /// Presses and releases the key named by the keysym \a name ("F5", "Tab", "Return", "d"...).
    void key(const std::string& name);
    /// Types \a text, lower-case letters and digits only.
    void type(const std::string& text);
    /// Moves the pointer to (x, y) of \a window and clicks the left button.
    void click(WindowId window, int x, int y);

    /// Sends \a window a _NET_WM_PING and waits for its program to answer it. A Qt program
    /// answers from its GUI thread, so an answer means that thread is taking events again.
    bool ping(WindowId window, std::chrono::milliseconds timeout);

    /// Asks the window to close as a window manager would (WM_DELETE_WINDOW).
    void requestClose(WindowId window);

    /// How many pixels of the rectangle are not pure black (the main window's background).
    int litPixels(WindowId window, int x, int y, int width, int height);
    /// A digest of what the rectangle shows, to tell when it changes; nothing when it cannot be read.
    std::optional<std::uint64_t> digest(WindowId window, int x, int y, int width, int height);

private:
    std::optional<std::uint32_t> cardinal(WindowId window, unsigned long atom);
    unsigned long atom(const char* name);

    _XDisplay* display = nullptr;
    /// Answers to pings go to every connection that listens on the root window: this tells
    /// ours from those of another connection, the WindowPinger's for one.
    long tag = 0;
    long nextPing = 1;
};
