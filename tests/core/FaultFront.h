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
/// connection. Redirects point to a portal on 127.0.0.2 that answers everything with 200 and a
/// sign-in's JSON, as a captive portal would. Runs on threads of its own from construction to
/// destruction.
class FaultFront {
public:
    enum class Fault {
        Pass,              // forward it and hand back the service's answer
        ServerError,       // 500 with a JSON body, not forwarded
        HtmlPage,          // 502 with an HTML page, not forwarded
        HtmlOk,            // 200 with an HTML page, not forwarded
        Refused,           // 400 with a JSON body, not forwarded
        Unauthorized,      // 401 with a JSON body, not forwarded
        TooManyRequests,   // 429 with "Retry-After: 4", not forwarded
        Moved,             // 301 to the portal, not forwarded
        Found,             // 302 to the portal, not forwarded
        TemporaryRedirect, // 307 to the portal, not forwarded
        PermanentRedirect, // 308 to the portal, not forwarded
        Hang,              // no answer at all, the connection held open
        NeverEnding,       // 200 and a body that trickles on for ever, not forwarded
        HangUp,            // close in the middle of the status line, not forwarded
        HangUpAfterStore,  // forward it, then close in the middle of the status line
        CutOffAfterStore,  // forward it, then send the service's status and half a body
        LateAfterStore,    // forward it, then hold the service's answer for lateBy
    };

    struct Request {
        std::string method;
        std::string target; // path and query, as sent
        std::string key;    // the Idempotency-Key; empty when none
        std::string authorization;
        std::string body;
        /// 1 for the first request with this method, target and key, 2 for the next... Qt sends a
        /// request again by itself when its connection closes before the answer: what arrives
        /// within a second of a request the front hung up on is the same attempt.
        int attempt = 0;
        bool toPortal = false;
        std::chrono::steady_clock::time_point at;
    };
    using Plan = std::function<Fault(const Request&)>;

    FaultFront(int servicePort, Plan plan, std::chrono::milliseconds lateBy = std::chrono::seconds(1));
    ~FaultFront();
    FaultFront(const FaultFront&) = delete;
    FaultFront& operator=(const FaultFront&) = delete;

    int port() const { return listening; }
    /// Every request that arrived whole, at the front or the portal, in order of arrival.
    std::vector<Request> requests() const;

private:
    int listen(const char* address, int& port);
    void accept(int listener, bool portal);
    void answer(httplib::Request& forwarded, int connection, bool portal);

    const int servicePort;
    const Plan plan;
    const std::chrono::milliseconds lateBy;
    int listener = -1;
    int portalListener = -1;
    int listening = 0;
    int portalPort = 0;
    mutable std::mutex mutex;
    std::condition_variable stopped;
    bool stopping = false;
    std::vector<Request> log;
    struct Attempts {
        int count = 0;
        std::chrono::steady_clock::time_point last;
        bool hungUp = false;
    };
    std::map<std::string, Attempts> attempts;
    std::set<int> connections;
    std::vector<std::thread> workers;
    std::thread acceptor;
    std::thread portalAcceptor;
};
