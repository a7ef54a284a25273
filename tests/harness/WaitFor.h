#pragma once

#include <chrono>
#include <thread>

/// Polls \a condition until it holds or \a timeout has passed; whether it held. The bounded
/// wait the harness is made of: nothing here waits for a fixed time.
template <typename Condition>
bool waitFor(std::chrono::milliseconds timeout, Condition&& condition,
             std::chrono::milliseconds interval = std::chrono::milliseconds(20)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return condition();
        std::this_thread::sleep_for(interval);
    }
    return true;
}
