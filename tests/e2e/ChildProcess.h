#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

class NetworkNamespace;

/// A program started by the test inside its network namespace, with its standard output and
/// error appended to a log file. The child is killed when the test process dies (a test that
/// crashes leaves no client or service behind) and when this object is destroyed while it runs.
/// Start children from the test's main thread: the kernel sends that death signal when the
/// thread that forked the child ends.
class ChildProcess {
public:
    struct Options {
        std::vector<std::string> argv;
        /// The whole environment of the child, as NAME=value.
        std::vector<std::string> environment;
        std::string logPath;
    };

    /// Throws std::runtime_error when the program cannot be started.
    ChildProcess(const NetworkNamespace& ns, const Options& options);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return child; }
    /// Whether it still runs (it is reaped here once it has ended).
    bool running();
    void signal(int signal) const;
    /// Its exit status, or 128 + the signal that ended it, once it has ended within \a timeout.
    std::optional<int> waitForExit(std::chrono::milliseconds timeout);
    /// Sends \a signal, waits up to \a timeout, then kills it; the exit status.
    int stop(int signal, std::chrono::milliseconds timeout);
    /// What it wrote so far.
    std::string log() const;

    /// The environment of this process with \a overrides (NAME=value) put in.
    static std::vector<std::string> environmentWith(const std::vector<std::string>& overrides);

private:
    pid_t child = -1;
    std::optional<int> status;
    std::string logPath;
};
