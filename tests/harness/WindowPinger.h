#pragma once

#include "XDesktop.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

/// Watches how responsive a window's program is, for as long as it lives: pings the window
/// every 50 ms over a connection of its own and keeps the longest time a ping went unanswered,
/// which is the longest time the program's GUI thread took no events. Stop it before the window
/// goes away.
class WindowPinger {
public:
    explicit WindowPinger(XDesktop::WindowId window);
    ~WindowPinger();
    WindowPinger(const WindowPinger&) = delete;
    WindowPinger& operator=(const WindowPinger&) = delete;

    void stop();
    std::chrono::milliseconds longestStall() const { return std::chrono::milliseconds(longest.load()); }
    int answeredPings() const { return answered.load(); }

private:
    void run(XDesktop::WindowId window);

    std::atomic<long long> longest = 0;
    std::atomic<int> answered = 0;
    std::mutex mutex;
    std::condition_variable wake;
    bool stopping = false;
    std::thread thread;
};
