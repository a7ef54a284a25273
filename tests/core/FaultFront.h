#pragma once

#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

/// A misbehaving way to the service: listens on a free 127.0.0.1 port of its own and passes
/// each request on to the service, or does to it what the plan says. Every answer closes its
/// connection. A portal on 127.0.0.2 answers whatever reaches it with 200 and a sign-in's JSON,
/// as a captive portal would. Runs on threads of its own from construction to destruction.
class FaultFront {
public:
    /// What becomes of a request. A status from 100 up is answered by the front itself: with a
    /// page for 200, 502 and a 3xx (whose Location is the portal), as portals and proxies send,
    /// and with a JSON error for the others, "WWW-Authenticate" on a 401 and "Retry-After: 4" on
    /// a 429. Below 100:
    enum Fault : int {
        Pass,             // forward it and hand back the service's answer
        Hang,             // no answer at all, the connection held open
        NeverEnding,      // 200 and a body that trickles on for ever, not forwarded
        HangUp,           // the head of a 200 and then the connection closed, not forwarded
        CutOffAfterStore, // forward it, then send the service's status and half a body
        LateAfterStore,   // forward it, then hold the service's answer for lateBy
    };

    struct Request {
        std::string method;
        std::string target; // path and query, as sent
        std::string key;    // the Idempotency-Key; empty when none
        std::string authorization;
        int attempt = 0; // 1 for the first request with this method, target and key, 2 for the next...
        bool toPortal = false;
        std::chrono::steady_clock::time_point at;
    };
    using Plan = std::function<int(const Request&)>;

    FaultFront(int servicePort, Plan plan, std::chrono::milliseconds lateBy);
    ~FaultFront();
    FaultFront(const FaultFront&) = delete;
    FaultFront& operator=(const FaultFront&) = delete;

    int port() const { return ports[0]; }
    /// Every request that arrived whole, at the front or the portal, in order of arrival.
    std::vector<Request> requests() const {
        const std::lock_guard lock(mutex);
        return log;
    }

private:
    void answer(const httplib::Request& in, httplib::Response& out, bool portal);
    /// Whether the front ends within \a wait.
    bool endsWithin(std::chrono::milliseconds wait) {
        std::unique_lock lock(mutex);
        return stopped.wait_for(lock, wait, [this] { return stopping; });
    }

    const int servicePort;
    const Plan plan;
    const std::chrono::milliseconds lateBy;
    mutable std::mutex mutex;
    std::condition_variable stopped;
    bool stopping = false;
    std::vector<Request> log;
    std::map<std::string, int> attempts; // per method, target and key
    httplib::Server servers[2];          // the front, the portal
    int ports[2] = {0, 0};
    std::thread listeners[2];
};
