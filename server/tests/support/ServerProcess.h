#pragma once

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <string>
#include <sys/types.h>
#include <vector>

namespace corlune::server::test {

/// The built corlune-track-server, started with `serve --listen 127.0.0.1:0` plus the given
/// arguments; ready once it has printed its "listening on" line. Stopped with SIGTERM when
/// it goes out of scope.
/// An answer, its body parsed when it is JSON (null otherwise); status 0 when none came.
struct Answer {
    int status = 0;
    nlohmann::json body;
    httplib::Headers headers;
};

class ServerProcess {
public:
    explicit ServerProcess(const std::vector<std::string>& serveArgs);
    ~ServerProcess();
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    int port() const { return port_; }
    /// A client for this server, with generous timeouts.
    httplib::Client client() const;
    /// POST with Content-Type application/json and these headers.
    Answer post(const std::string& path, const std::string& body, const httplib::Headers& headers = {}) const;
    Answer post(const std::string& path, const nlohmann::json& body,
                const httplib::Headers& headers = {}) const {
        return post(path, body.dump(), headers);
    }
    /// GET with Content-Type application/json and no body, as the time clock sends it.
    Answer get(const std::string& path, const httplib::Headers& headers = {}) const;
    /// Sends a signal and waits; the exit status, or 128 + the signal that ended it.
    int stop(int signal = SIGTERM);
    bool exited();
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    int port_ = 0;
    int status_ = -1;
};

struct CommandResult {
    int status = -1;
    std::string out;
    std::string err;
};

/// Runs the binary with these arguments, `input` on its standard input, and waits for it.
CommandResult runServer(const std::vector<std::string>& args, const std::string& input = {});

/// Adds an employee through the command line (the password goes to standard input).
void addEmployee(const std::string& db, const std::string& employeeId, const std::string& password,
                 const std::vector<std::string>& jobs);

} // namespace corlune::server::test
