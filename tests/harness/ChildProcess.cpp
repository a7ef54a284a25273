#include "ChildProcess.h"

#include "NetworkNamespace.h"
#include "WaitFor.h"

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

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

std::vector<std::string> environmentWith(const std::vector<std::string>& overrides) {
    const auto nameOf = [](const std::string& entry) { return entry.substr(0, entry.find('=')); };
    std::vector<std::string> result;
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

/// A descriptor the parent holds until the child has its copies.
struct File {
    File(const std::string& path, int flags)
        : fd(::open(path.c_str(), flags | O_CLOEXEC, 0600)) {
        if (fd < 0)
            throw std::runtime_error("cannot open " + path);
    }
    ~File() { ::close(fd); }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    const int fd;
};

/// \a name as it is when it holds a '/', else the first executable of that name in PATH: looked
/// up before the fork, as nothing after it may allocate.
std::string programPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::istringstream folders(name.find('/') == std::string::npos && path ? path : "");
    for (std::string folder; std::getline(folders, folder, ':');) {
        if (::access((folder + '/' + name).c_str(), X_OK) == 0)
            return folder + '/' + name;
    }
    return name;
}

int statusOf(int raw) {
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
}

} // namespace

ChildProcess::ChildProcess(const Options& options)
    : logPath(options.logPath) {
    std::vector<std::string> argv = options.argv;
    argv.at(0) = programPath(argv.at(0));
    std::vector<std::string> environment = environmentWith(options.environment);
    std::vector<char*> argvPointers = pointersTo(argv);
    std::vector<char*> environmentPointers = pointersTo(environment);
    const File output(options.logPath, O_WRONLY | O_CREAT | O_APPEND);
    const File errors(options.errorPath.empty() ? options.logPath : options.errorPath,
                      O_WRONLY | O_CREAT | O_APPEND);
    const File input(options.inputPath, O_RDONLY);
    const pid_t parent = ::getpid();

    started = Clock::now();
    child = ::fork();
    if (child == 0) {
        // Only async-signal-safe calls from here to exec: the parent has threads.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(126);
        if (options.ns && !options.ns->enterFromChild())
            ::_exit(125);
        ::dup2(input.fd, STDIN_FILENO);
        ::dup2(output.fd, STDOUT_FILENO);
        ::dup2(errors.fd, STDERR_FILENO);
        ::execve(argvPointers[0], argvPointers.data(), environmentPointers.data());
        ::_exit(127);
    }
    if (child < 0)
        throw std::runtime_error("cannot fork for " + argv.front());
}

ChildProcess::~ChildProcess() {
    if (running())
        stop(SIGTERM, std::chrono::seconds(5));
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
    waitFor(
        timeout, [this] { return !running(); }, std::chrono::milliseconds(5));
    return status;
}

int ChildProcess::stop(int signal, std::chrono::milliseconds grace) {
    this->signal(signal);
    if (const std::optional<int> ended = waitForExit(grace))
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

std::optional<std::string> ChildProcess::waitForLine(const std::string& prefix,
                                                     std::chrono::milliseconds timeout) {
    std::optional<std::string> found;
    const auto search = [&] {
        std::istringstream lines(log());
        std::string line;
        // A last line without its newline may still be being written.
        while (!found && std::getline(lines, line) && !lines.eof()) {
            if (line.rfind(prefix, 0) == 0)
                found = line;
        }
        return found.has_value();
    };
    waitFor(timeout, [&] {
        const bool ended = !running();
        return search() || ended;
    });
    return found;
}
