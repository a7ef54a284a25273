#pragma once

#include <chrono>
#include <string>
#include <vector>

class XDesktop;

/// Every change to the content of the top-level windows mapped from now on, as the X server's
/// DAMAGE extension reports it (raw rectangles: one report per drawing request, with its
/// rectangle), with the moment the harness read of it. Whatever a program draws with, Qt's X11
/// backing store included, ends in such a report; reports are events, so the server sends them
/// at once. Reports arrive on the desktop's connection, as it reads what the server sends; so do
/// the maps and unmaps of top-level windows, logged here too.
class DamageWatch {
public:
    using Clock = std::chrono::steady_clock;

    struct Paint {
        unsigned long window = 0;
        int x = 0;
        int y = 0;
        int width = 0;
        int height = 0;
        Clock::time_point at;
    };

    /// A top-level window mapped or unmapped, with the moment the harness read of it.
    struct WindowEvent {
        bool mapped = false;
        unsigned long window = 0;
        /// The title when mapped; empty for an unmap.
        std::string title;
        Clock::time_point at;
    };

    /// Throws std::runtime_error when the display has no DAMAGE.
    explicit DamageWatch(XDesktop& desktop);
    DamageWatch(const DamageWatch&) = delete;
    DamageWatch& operator=(const DamageWatch&) = delete;

    const std::vector<Paint>& paints() const { return log; }
    const std::vector<WindowEvent>& windowEvents() const { return windowLog; }

private:
    void watch(unsigned long window);

    XDesktop& desktop;
    int opcode = 0;
    int eventBase = 0;
    std::vector<Paint> log;
    std::vector<WindowEvent> windowLog;
};
