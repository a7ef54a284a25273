#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

class NetworkNamespace;

/// A program started by a test or a benchmark, optionally inside a network namespace, with its
/// output appended to a log file. The child is killed when the process that started it dies (a
/// test that crashes leaves nothing behind), and stopped when this object goes while it runs.
/// Start children from the main thread: the kernel sends that death signal when the thread that
/// forked the child ends.
class ChildProcess {
public:
    using Clock = std::chrono::steady_clock;

    struct Options {
        /// argv[0] is looked up in PATH when it holds no '/'.
        std::vector<std::string> argv{};
        /// NAME=value entries put over this process's environment.
        std::vector<std::string> environment{};
        /// Standard output, and standard error unless errorPath is set.
        std::string logPath{};
        std::string errorPath{};
        std::string inputPath = "/dev/null";
        const NetworkNamespace* ns = nullptr;
    };

    /// Throws std::runtime_error when the program cannot be started; one that cannot be run ends
    /// with status 127.
    explicit ChildProcess(const Options& options);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return child; }
    /// Taken just before the fork: the zero of every "from exec" figure.
    Clock::time_point startedAt() const { return started; }
    /// Whether it still runs (it is reaped here once it has ended).
    bool running();
    void signal(int signal) const;
    /// Its exit status, or 128 + the signal that ended it, once it has ended within \a timeout.
    std::optional<int> waitForExit(std::chrono::milliseconds timeout);
    /// Sends \a signal, waits up to \a grace, then kills it; the exit status.
    int stop(int signal, std::chrono::milliseconds grace = std::chrono::seconds(20));
    /// What it wrote to the log so far.
    std::string log() const;
    /// The first whole line of the log that starts with \a prefix, once there is one; nothing
    /// when the program ended or \a timeout passed first.
    std::optional<std::string> waitForLine(const std::string& prefix, std::chrono::milliseconds timeout);

private:
    pid_t child = -1;
    Clock::time_point started;
    std::optional<int> status;
    std::string logPath;
};
