#pragma once

#include <chrono>
#include <map>
#include <string>
#include <vector>

#include <sys/types.h>

/// A program the harness starts and owns: spawned with the harness's environment plus a few
/// overrides, its output sent to a log file, and ended (SIGTERM, then SIGKILL) at the latest
/// when this object goes.
class ChildProcess {
public:
    using Clock = std::chrono::steady_clock;

    /// Starts argv[0] at once; throws std::runtime_error when it cannot be spawned.
    ChildProcess(const std::vector<std::string>& argv, const std::map<std::string, std::string>& environment,
                 const std::string& logPath);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return id; }
    /// Taken just before the spawn: the zero of every "from exec" figure.
    Clock::time_point startedAt() const { return started; }
    bool isRunning();
    /// Asks the program to end and waits for it, killing it if it has not ended in \a grace.
    void terminate(std::chrono::milliseconds grace = std::chrono::milliseconds(3000));

private:
    pid_t id = -1;
    Clock::time_point started;
};
