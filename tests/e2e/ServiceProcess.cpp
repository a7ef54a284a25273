#include "ServiceProcess.h"

#include "WaitFor.h"

#include <atomic>
#include <csignal>
#include <filesystem>
#include <stdexcept>

namespace {
std::atomic<int> started = 0;
}

ServiceProcess::ServiceProcess(const NetworkNamespace& ns, const std::string& workDir,
                               const std::string& database, int port,
                               const std::vector<std::string>& extraArguments) {
    const std::string portFile = workDir + "/service-" + std::to_string(++started) + ".port";
    std::vector<std::string> argv = {CORLUNE_SERVER_BINARY,
                                     "serve",
                                     "--listen",
                                     "127.0.0.1:" + std::to_string(port),
                                     "--db",
                                     database,
                                     "--demo",
                                     "--port-file",
                                     portFile};
    argv.insert(argv.end(), extraArguments.begin(), extraArguments.end());
    process = std::make_unique<ChildProcess>(
        ns, ChildProcess::Options{argv, ChildProcess::environmentWith({}), workDir + "/service.log"});
    // The port file is written once the socket listens.
    const bool listening = waitFor(std::chrono::seconds(20),
                                   [&] { return std::filesystem::exists(portFile) || !process->running(); });
    if (!listening || !process->running())
        throw std::runtime_error("the service did not start:\n" + process->log());
}

ServiceProcess::~ServiceProcess() {
    stop(SIGTERM);
}

int ServiceProcess::stop(int signal) {
    // A graceful stop waits out idle kept-alive connections (2 s) and held answers.
    return process->stop(signal, std::chrono::seconds(20));
}
