#pragma once

#include "ChildProcess.h"

#include <memory>
#include <string>
#include <vector>

class NetworkNamespace;

/// The real corlune-track-server, serving `database` on 127.0.0.1:`port` inside the test's
/// namespace, with the demo employee ("demo"/"demo" on the jobs "demo" and "0"). The
/// constructor returns once it listens; throws when it does not start.
class ServiceProcess {
public:
    ServiceProcess(const NetworkNamespace& ns, const std::string& workDir, const std::string& database,
                   int port, const std::vector<std::string>& extraArguments = {});
    ~ServiceProcess();
    ServiceProcess(const ServiceProcess&) = delete;
    ServiceProcess& operator=(const ServiceProcess&) = delete;

    /// SIGTERM (a graceful stop) or SIGKILL (a crash); the exit status.
    int stop(int signal);
    pid_t pid() const { return process->pid(); }
    std::string log() const { return process->log(); }

private:
    std::unique_ptr<ChildProcess> process;
};
