#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <sys/types.h>

/// What /proc says about a running process at one moment: its CPU time, its memory and its
/// threads. Memory figures are in KiB, as the kernel gives them.
class ProcessSample {
public:
    using Clock = std::chrono::steady_clock;

    struct Thread {
        int tid = 0;
        std::string name;
        /// Time on a CPU, in nanoseconds, and how many times it was put on one (its wake-ups).
        std::uint64_t runNs = 0;
        std::uint64_t slices = 0;
    };

    /// Nothing when the process is gone.
    static std::optional<ProcessSample> read(pid_t pid);

    /// Resident KiB per mapped file (anonymous memory under its bracketed name), largest first.
    static std::vector<std::pair<std::string, long>> residentByMapping(pid_t pid);

    double cpuSeconds() const;

    Clock::time_point at;
    /// User plus system time of all threads, ended ones included, in clock ticks.
    std::uint64_t cpuTicks = 0;
    long vmRss = 0;
    long vmHwm = 0;
    long rssAnon = 0;
    long rssFile = 0;
    long rssShmem = 0;
    long pss = 0;
    long threadCount = 0;
    std::vector<Thread> threads;
};
