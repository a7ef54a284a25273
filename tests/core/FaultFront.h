#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
struct Request;
}

/// A misbehaving way to the service: listens on a free 127.0.0.1 port of its own and passes
/// each request on to the service, or does to it what the plan says. Every answer closes its
/// connection. Runs on threads of its own from construction to destruction.
class FaultFront {
public:
    enum class Fault {
        Pass,             // forward it and hand back the service's answer
        ServerError,      // 500 with a JSON body, not forwarded
        HtmlPage,         // 502 with an HTML page, not forwarded
        HangUp,           // close in the middle of the status line, not forwarded
        HangUpAfterStore, // forward it, then close in the middle of the status line
        CutOffAfterStore, // forward it, then send the service's status and half a body
        LateAfterStore,   // forward it, then hold the service's answer for lateBy
    };

    struct Request {
        std::string method;
        std::string target; // path and query, as sent
        std::string key;    // the Idempotency-Key; empty when none
        std::string body;
        /// 1 for the first request with this method, target and key, 2 for the next... Qt sends a
        /// request again by itself when its connection closes before the answer: what arrives
        /// within a second of the one before is the same attempt.
        int attempt = 0;
    };
    using Plan = std::function<Fault(const Request&)>;

    FaultFront(int servicePort, Plan plan, std::chrono::milliseconds lateBy = std::chrono::seconds(1));
    ~FaultFront();
    FaultFront(const FaultFront&) = delete;
    FaultFront& operator=(const FaultFront&) = delete;

    int port() const { return listening; }
    /// Every request that arrived whole, in order of arrival.
    std::vector<Request> requests() const;

private:
    void answer(httplib::Request& forwarded, int connection);

    const int servicePort;
    const Plan plan;
    const std::chrono::milliseconds lateBy;
    int listener = -1;
    int listening = 0;
    mutable std::mutex mutex;
    std::condition_variable stopped;
    bool stopping = false;
    std::vector<Request> log;
    struct Attempts {
        int count = 0;
        std::chrono::steady_clock::time_point last;
    };
    std::map<std::string, Attempts> attempts;
    std::set<int> connections;
    std::vector<std::thread> workers;
    std::thread acceptor;
};
