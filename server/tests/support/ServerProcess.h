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
    /// POST with Content-Type application/json, and an Idempotency-Key when one is given.
    Answer post(const std::string& path, const std::string& body,
                const std::string& idempotencyKey = {}) const;
    Answer post(const std::string& path, const char* body, const std::string& idempotencyKey = {}) const {
        return post(path, std::string(body), idempotencyKey);
    }
    Answer post(const std::string& path, const nlohmann::json& body,
                const std::string& idempotencyKey = {}) const {
        return post(path, body.dump(), idempotencyKey);
    }
    /// GET with Content-Type application/json and no body, as the time clock sends it.
    Answer get(const std::string& path) const;
    /// Sends a signal and waits; the exit status, or 128 + the signal that ended it.
    int stop(int signal = SIGTERM);
    bool exited();
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    int port_ = 0;
    int status_ = -1;
};

/// Every byte outside A-Z a-z 0-9 - . _ ~ as %XX, as the time clock encodes query values.
std::string percentEncode(const std::string& text);

/// "/api/time/summary?..." for these values; the total, or -1 when the answer had none.
std::int64_t totalWorkMs(const ServerProcess& server, const std::string& employee, const std::string& job,
                         const std::string& from, const std::string& to);

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
