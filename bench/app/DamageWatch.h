#pragma once

#include <chrono>
#include <vector>

struct _XDisplay;

/// Every change to the content of chosen windows, as the X server's DAMAGE extension reports it
/// (raw rectangles: one report per drawing request, with its rectangle), with the moment the
/// harness learnt of it. Whatever a program draws with, Qt's X11 backing store included, ends in
/// such a report; reports are events, so the server sends them at once.
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

    /// Opens $DISPLAY; throws std::runtime_error without one or without DAMAGE.
    DamageWatch();
    ~DamageWatch();
    DamageWatch(const DamageWatch&) = delete;
    DamageWatch& operator=(const DamageWatch&) = delete;

    /// Starts reporting the changes to \a window (a window that goes away reports nothing more).
    void watch(unsigned long window);

    /// The connection's socket: readable when process() has something to read.
    int fd() const;
    void process();
    const std::vector<Paint>& paints() const { return log; }

private:
    _XDisplay* dpy = nullptr;
    int opcode = 0;
    int eventBase = 0;
    std::vector<Paint> log;
};
