#include "ChildProcess.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <stdexcept>
#include <thread>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace {

std::vector<std::string> mergedEnvironment(const std::map<std::string, std::string>& overrides) {
    std::vector<std::string> merged;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text(*entry);
        const std::string name = text.substr(0, text.find('='));
        if (!overrides.contains(name))
            merged.push_back(text);
    }
    for (const auto& [name, value] : overrides)
        merged.push_back(name + '=' + value);
    return merged;
}

std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> result;
    for (std::string& text : texts)
        result.push_back(text.data());
    result.push_back(nullptr);
    return result;
}

} // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv,
                           const std::map<std::string, std::string>& environment,
                           const std::string& logPath) {
    std::vector<std::string> arguments = argv;
    std::vector<std::string> variables = mergedEnvironment(environment);
    std::vector<char*> argp = pointers(arguments);
    std::vector<char*> envp = pointers(variables);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                     0600);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);

    started = Clock::now();
    const int rc = posix_spawn(&id, argp[0], &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        id = -1;
        throw std::runtime_error("cannot start " + argv.front() + ": " + std::strerror(rc));
    }
}

ChildProcess::~ChildProcess() {
    terminate();
}

bool ChildProcess::isRunning() {
    if (id <= 0)
        return false;
    int status = 0;
    if (::waitpid(id, &status, WNOHANG) == id) {
        id = -1;
        return false;
    }
    return true;
}

void ChildProcess::terminate(std::chrono::milliseconds grace) {
    if (!isRunning())
        return;
    ::kill(id, SIGTERM);
    const auto deadline = Clock::now() + grace;
    while (Clock::now() < deadline) {
        if (!isRunning())
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(id, SIGKILL);
    int status = 0;
    while (::waitpid(id, &status, 0) < 0 && errno == EINTR) {
    }
    id = -1;
}
