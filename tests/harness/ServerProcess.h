#pragma once

#include "ChildProcess.h"
#include "TempDir.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <csignal>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class NetworkNamespace;

/// An answer, its body parsed when it is JSON (null otherwise); status 0 when none came.
struct Answer {
    int status = 0;
    nlohmann::json body;
    httplib::Headers headers;
};

/// The real corlune-track-server, started with `serve --listen 127.0.0.1:PORT` and the given
/// arguments (port 0: one it picks), inside \a ns when one is given. The constructor returns
/// once it listens, and throws when it does not start. Stopped with SIGTERM when it goes; a test
/// that judges the exit status calls stop() itself.
class ServerProcess {
public:
    explicit ServerProcess(const std::vector<std::string>& serveArguments, int port = 0,
                           const NetworkNamespace* ns = nullptr);
    ~ServerProcess();
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    int port() const { return listening; }
    pid_t pid() const { return process->pid(); }
    bool exited() { return !process->running(); }
    /// Sends \a signal and waits, killing it after 20 s; the exit status, or 128 + the signal
    /// that ended it.
    int stop(int signal = SIGTERM) { return process->stop(signal); }
    /// What it wrote to its standard output and error.
    std::string log() const { return process->log(); }

    /// A client for this server, with generous timeouts. With a namespace, use it only on a
    /// thread inside it.
    httplib::Client client() const;
    /// POST with Content-Type application/json and \a headers (an Idempotency-Key, an
    /// Authorization...).
    Answer post(const std::string& path, const std::string& body, const httplib::Headers& headers = {}) const;
    Answer post(const std::string& path, const char* body, const httplib::Headers& headers = {}) const {
        return post(path, std::string(body), headers);
    }
    Answer post(const std::string& path, const nlohmann::json& body,
                const httplib::Headers& headers = {}) const {
        return post(path, body.dump(), headers);
    }
    /// GET with Content-Type application/json and no body, as the time clock sends it.
    Answer get(const std::string& path, const httplib::Headers& headers = {}) const;

private:
    Answer send(const std::function<httplib::Result(httplib::Client&)>& request) const;

    TempDir dir;
    const NetworkNamespace* ns = nullptr;
    std::unique_ptr<ChildProcess> process;
    int listening = 0;
};

struct CommandResult {
    int status = -1;
    std::string out;
    std::string err;
};

/// Runs corlune-track-server with \a arguments and \a input on its standard input, and waits
/// for it (a minute at most).
CommandResult runServer(const std::vector<std::string>& arguments, const std::string& input = {});

/// Adds an employee through the command line (the password goes to standard input); throws
/// std::runtime_error when that fails.
void addEmployee(const std::string& db, const std::string& employeeId, const std::string& password,
                 const std::vector<std::string>& jobs);
