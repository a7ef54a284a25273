#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

struct _XDisplay;
union _XEvent;

/// A connection of the harness's own to the X display (DISPLAY): finds programs' windows, gives input through
/// XTEST as a user would, asks a window whether its program is responsive and reads what it shows. There is
/// no window manager: top-level windows are the root's children. Every call that gives input returns once the
/// server has turned it into events. Use from one thread.
class XDesktop {
public:
    using WindowId = unsigned long;
    using Clock = std::chrono::steady_clock;

    /// Throws std::runtime_error when the display cannot be opened or lacks XTEST.
    XDesktop();
    ~XDesktop();
    XDesktop(const XDesktop&) = delete;
    XDesktop& operator=(const XDesktop&) = delete;

    WindowId root() const;
    /// A viewable top-level window of process \a pid whose title passes \a matches; the topmost.
    std::optional<WindowId> findWindow(pid_t pid, const std::function<bool(const std::string&)>& matches);
    std::string titleOf(WindowId window);
    bool isViewable(WindowId window);

    /// Gives \a window the keyboard focus and waits until the server has it there.
    bool focus(WindowId window);
    /// Presses and releases keys named by keysyms, "+" between keys held together: "F5",
    /// "Return", "Shift_L+a", "Control_L+Alt_L+b". Throws when the keymap has no such key.
    void key(const std::string& keys);
    /// Lower-case letters and digits only.
    void type(const std::string& text);
    /// Moves the pointer to (x, y) of \a window and clicks \a button (4 to 7: wheel steps).
    void click(WindowId window, int x, int y, int button = 1);
    void movePointerBy(int dx, int dy);

    /// Sends \a window a _NET_WM_PING and waits for its program to answer it. A Qt program
    /// answers from its GUI thread, so an answer means that thread is taking events again.
    bool ping(WindowId window, std::chrono::milliseconds timeout);
    /// WM_DELETE_WINDOW, as a window manager sends it.
    void requestClose(WindowId window);

    /// A digest of what the rectangle shows, to tell when it changes; nothing when it cannot be read.
    std::optional<std::uint64_t> digest(WindowId window, int x, int y, int width, int height);

    /// The connection, for requests of extensions the harness does not speak. Every event,
    /// theirs included, reaches \a handler as this connection reads it.
    _XDisplay* connection() const { return display; }
    void setEventHandler(std::function<void(const _XEvent&)> handler) { eventHandler = std::move(handler); }
    /// Reads what the server sends until \a condition holds; false when \a timeout passed first.
    bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

private:
    void readEvents();
    /// A WM_PROTOCOLS message, as a window manager sends it; \a argument is a time or a serial.
    void sendProtocol(WindowId window, const char* protocol, long argument);
    unsigned char keycodeOf(const std::string& keysym);
    unsigned long atom(const char* name);

    _XDisplay* display = nullptr;
    std::function<void(const _XEvent&)> eventHandler;
    /// Answers to pings go to every connection that listens on the root window: this tells
    /// ours from those of another connection, the WindowPinger's for one.
    long tag = 0;
    long nextPing = 1;
    /// A program answers pings in the order they came.
    long lastPingAnswered = 0;
};
