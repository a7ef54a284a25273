#include "ServerProcess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace corlune::server::test {

namespace {

std::vector<char*> argvOf(std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    return argv;
}

Answer toAnswer(const httplib::Result& result) {
    Answer answer;
    if (!result) {
        return answer;
    }
    answer.status = result->status;
    answer.headers = result->headers;
    answer.body = nlohmann::json::parse(result->body, nullptr, false);
    if (answer.body.is_discarded()) {
        answer.body = nullptr;
    }
    return answer;
}

int exitStatus(int raw) {
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
}

/// Reads everything from `fd` until it closes.
std::string drain(int fd) {
    std::string text;
    char buffer[4096];
    ssize_t n = 0;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0) {
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
}

} // namespace

ServerProcess::ServerProcess(const std::vector<std::string>& serveArgs) {
    std::vector<std::string> args = {CORLUNE_SERVER_BINARY, "serve", "--listen", "127.0.0.1:0"};
    args.insert(args.end(), serveArgs.begin(), serveArgs.end());
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    pid_ = fork();
    if (pid_ == 0) {
        dup2(out[1], STDOUT_FILENO);
        auto argv = argvOf(args);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    // The first line is "listening on 127.0.0.1:PORT"; a server that fails to start closes
    // its standard output without one.
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        pollfd p{out[0], POLLIN, 0};
        if (poll(&p, 1, 100) > 0) {
            char c = 0;
            if (::read(out[0], &c, 1) != 1) {
                break;
            }
            line += c;
        }
    }
    close(out[0]);
    const std::string prefix = "listening on 127.0.0.1:";
    if (line.rfind(prefix, 0) != 0) {
        stop(SIGKILL);
        throw std::runtime_error("the server did not start: '" + line + "'");
    }
    port_ = std::stoi(line.substr(prefix.size()));
}

ServerProcess::~ServerProcess() {
    if (status_ < 0) {
        const int status = stop();
        EXPECT_EQ(status, 0) << "the server did not stop cleanly";
    }
}

httplib::Client ServerProcess::client() const {
    httplib::Client client("127.0.0.1", port_);
    client.set_connection_timeout(std::chrono::seconds(10));
    client.set_read_timeout(std::chrono::seconds(30));
    client.set_write_timeout(std::chrono::seconds(10));
    return client;
}

Answer ServerProcess::post(const std::string& path, const std::string& body,
                           const httplib::Headers& headers) const {
    return toAnswer(client().Post(path.c_str(), headers, body, "application/json"));
}

Answer ServerProcess::get(const std::string& path, const httplib::Headers& headers) const {
    httplib::Headers all = headers;
    all.emplace("Content-Type", "application/json");
    return toAnswer(client().Get(path.c_str(), all));
}

bool ServerProcess::exited() {
    if (status_ >= 0) {
        return true;
    }
    int raw = 0;
    if (waitpid(pid_, &raw, WNOHANG) == pid_) {
        status_ = exitStatus(raw);
        return true;
    }
    return false;
}

int ServerProcess::stop(int signal) {
    if (exited()) {
        return status_;
    }
    kill(pid_, signal);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (!exited()) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid_, SIGKILL);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return status_;
}

CommandResult runServer(const std::vector<std::string>& args, const std::string& input) {
    std::vector<std::string> all = {CORLUNE_SERVER_BINARY};
    all.insert(all.end(), args.begin(), args.end());
    int in[2];
    int out[2];
    int err[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], STDIN_FILENO);
        dup2(out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        auto argv = argvOf(all);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    signal(SIGPIPE, SIG_IGN);
    [[maybe_unused]] const auto written = ::write(in[1], input.data(), input.size());
    close(in[1]);
    CommandResult result;
    std::thread errReader([&] { result.err = drain(err[0]); });
    result.out = drain(out[0]);
    errReader.join();
    close(out[0]);
    close(err[0]);
    int raw = 0;
    waitpid(pid, &raw, 0);
    result.status = exitStatus(raw);
    return result;
}

void addEmployee(const std::string& db, const std::string& employeeId, const std::string& password,
                 const std::vector<std::string>& jobs) {
    std::vector<std::string> args = {"employee", "add", employeeId, "--db", db};
    for (const auto& job : jobs) {
        args.push_back("--job");
        args.push_back(job);
    }
    const CommandResult result = runServer(args, password + "\n");
    ASSERT_EQ(result.status, 0) << result.err;
}

} // namespace corlune::server::test
