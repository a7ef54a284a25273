#include "ChildProcess.h"

#include "NetworkNamespace.h"

#include <csignal>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

std::vector<char*> pointersTo(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

int statusOf(int raw) {
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
}

} // namespace

ChildProcess::ChildProcess(const NetworkNamespace& ns, const Options& options)
    : logPath(options.logPath) {
    std::vector<std::string> argv = options.argv;
    std::vector<std::string> environment = options.environment;
    std::vector<char*> argvPointers = pointersTo(argv);
    std::vector<char*> environmentPointers = pointersTo(environment);
    const int log = ::open(options.logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (log < 0)
        throw std::runtime_error("cannot open " + options.logPath);
    const pid_t parent = ::getpid();

    child = ::fork();
    if (child == 0) {
        // Only async-signal-safe calls from here to exec: the test process has threads.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(126);
        if (!ns.enterFromChild())
            ::_exit(125);
        ::dup2(log, STDOUT_FILENO);
        ::dup2(log, STDERR_FILENO);
        const int null = ::open("/dev/null", O_RDONLY);
        if (null >= 0)
            ::dup2(null, STDIN_FILENO);
        ::execve(argvPointers[0], argvPointers.data(), environmentPointers.data());
        ::_exit(127);
    }
    ::close(log);
    if (child < 0)
        throw std::runtime_error("fork failed");
}

ChildProcess::~ChildProcess() {
    if (running())
        stop(SIGKILL, std::chrono::seconds(10));
}

bool ChildProcess::running() {
    if (status)
        return false;
    int raw = 0;
    if (::waitpid(child, &raw, WNOHANG) == child) {
        status = statusOf(raw);
        return false;
    }
    return true;
}

void ChildProcess::signal(int signal) const {
    if (!status)
        ::kill(child, signal);
}

std::optional<int> ChildProcess::waitForExit(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (running()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return status;
}

int ChildProcess::stop(int signal, std::chrono::milliseconds timeout) {
    this->signal(signal);
    if (const std::optional<int> ended = waitForExit(timeout))
        return *ended;
    this->signal(SIGKILL);
    return waitForExit(std::chrono::seconds(30)).value_or(-1);
}

std::string ChildProcess::log() const {
    std::ifstream in(logPath);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> ChildProcess::environmentWith(const std::vector<std::string>& overrides) {
    std::vector<std::string> result;
    const auto nameOf = [](const std::string& entry) { return entry.substr(0, entry.find('=')); };
    for (char** entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        bool replaced = false;
        for (const std::string& override : overrides)
            replaced = replaced || nameOf(override) == nameOf(text);
        if (!replaced)
            result.push_back(text);
    }
    result.insert(result.end(), overrides.begin(), overrides.end());
    return result;
}
