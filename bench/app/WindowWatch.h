#pragma once

#include <chrono>
#include <string>
#include <vector>

struct _XDisplay;

/// The top-level windows of the X display as they are mapped and unmapped, each with the moment
/// the harness learnt of it, and synthetic input through XTEST. Without a window manager the
/// programs' windows are the root's own children, so the root's substructure shows them all.
class WindowWatch {
public:
    using Clock = std::chrono::steady_clock;

    struct Event {
        enum class Kind { Mapped, Unmapped };
        Kind kind = Kind::Mapped;
        unsigned long window = 0;
        /// The title when mapped (_NET_WM_NAME, else WM_NAME); empty for an unmap.
        std::string name;
        Clock::time_point at;
    };

    /// Opens $DISPLAY; throws std::runtime_error without one or without XTEST.
    WindowWatch();
    ~WindowWatch();
    WindowWatch(const WindowWatch&) = delete;
    WindowWatch& operator=(const WindowWatch&) = delete;

    /// The connection's socket: readable when process() has something to read.
    int fd() const;
    /// Reads every event the server has sent so far into events().
    void process();
    const std::vector<Event>& events() const { return log; }

    /// Gives \a window the keyboard focus and waits until the server has done so.
    void focus(unsigned long window);
    /// Presses and releases keys: \a text of lower-case letters and digits, or one key by its
    /// keysym name ("Return", "Tab").
    void type(const std::string& text);
    void key(const std::string& keysymName);
    /// Moves the pointer to \a x, \a y inside \a window and clicks the first button.
    void click(unsigned long window, int x, int y);

private:
    std::string titleOf(unsigned long window);
    void pressAndRelease(unsigned int keycode);

    _XDisplay* dpy = nullptr;
    std::vector<Event> log;
};
