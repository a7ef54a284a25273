#include "WindowPinger.h"

WindowPinger::WindowPinger(XDesktop::WindowId window)
    : thread([this, window] { run(window); }) {}

WindowPinger::~WindowPinger() {
    stop();
}

void WindowPinger::stop() {
    {
        const std::lock_guard lock(mutex);
        stopping = true;
    }
    wake.notify_all();
    if (thread.joinable())
        thread.join();
}

void WindowPinger::run(XDesktop::WindowId window) {
    XDesktop desktop;
    const auto stopRequested = [this] {
        const std::lock_guard lock(mutex);
        return stopping;
    };
    while (!stopRequested()) {
        const auto sent = std::chrono::steady_clock::now();
        // A ping that is not answered in time is followed by another; the program answers them
        // in order, so the stall ends with the first answer to any of them.
        bool ok = false;
        while (!ok && !stopRequested())
            ok = desktop.ping(window, std::chrono::milliseconds(200));
        if (!ok)
            return;
        ++answered;
        const auto stall =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - sent);
        if (stall.count() > longest.load())
            longest = stall.count();
        std::unique_lock lock(mutex);
        wake.wait_for(lock, std::chrono::milliseconds(50), [this] { return stopping; });
    }
}
