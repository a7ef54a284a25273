#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

class NetworkNamespace;

/// A misbehaving front for the service: listens where the client expects the service
/// (127.0.0.1:listenPort in the test's namespace) and passes each request on to the real
/// service on backendPort, or does to it what the test's plan says. Every request is answered
/// on a connection of its own, which is then closed. Runs on its own threads.
class FaultFront {
public:
    enum class Fault {
        Pass,                // forward it and hand back the service's answer
        ServerError,         // answer 500 with a JSON body, without forwarding
        GatewayPage,         // answer 502 with an HTML page, without forwarding
        Hangup,              // close the connection without an answer, without forwarding
        HangupAfterStore,    // forward it, then close without an answer
        TruncatedAfterStore, // forward it, then send the service's status and a cut-off body
        HugeAfterStore,      // forward it, then answer its status with a 20 MiB body
        NonJsonAfterStore,   // forward it, then answer its status with a body that is not JSON
        LateAfterStore,      // forward it, then hold the service's answer for lateBy
    };
    static constexpr std::chrono::seconds lateBy{16};

    struct Request {
        std::string method;
        std::string path;
        std::string idempotencyKey;
        /// 1 for the first request with this method, path and key, 2 for the next...
        int attempt = 0;
        /// Which report this is among those with this method and path, counted by their keys:
        /// 1 for the first key seen, 2 for the second...
        int ordinal = 0;
    };
    struct Record {
        Request request;
        Fault fault = Fault::Pass;
        /// The status the service answered, when the request was forwarded; 0 if not or none.
        int serviceStatus = 0;
        bool done = false; // the front has finished with it
    };
    using Plan = std::function<Fault(const Request&)>;

    /// Listens once it returns; throws when it cannot.
    FaultFront(const NetworkNamespace& ns, int listenPort, int backendPort, Plan plan);
    ~FaultFront();
    FaultFront(const FaultFront&) = delete;
    FaultFront& operator=(const FaultFront&) = delete;

    std::vector<Record> records() const;
    /// How many requests with \a method and \a path arrived.
    int count(const std::string& method, const std::string& path) const;
    /// Waits until the records pass \a condition; false when \a timeout passed first.
    bool waitFor(std::chrono::milliseconds timeout,
                 const std::function<bool(const std::vector<Record>&)>& condition) const;

private:
    void acceptLoop(int listener);
    void serve(int connection);
    std::size_t note(Request request, Fault fault);
    void finish(std::size_t index, int serviceStatus);
    /// Sends \a request to the service and returns its whole answer; empty when it gave none.
    std::string forward(const std::string& head, const std::string& body) const;
    /// Waits out \a delay unless the front stops first; whether it stopped.
    bool holdFor(std::chrono::milliseconds delay);

    int backendPort = 0;
    Plan plan;
    int wakePipe[2] = {-1, -1};
    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    bool stopping = false;
    std::vector<Record> log;
    std::map<std::string, int> attempts;
    std::map<std::string, std::set<std::string>> keysByPath;
    std::set<int> openConnections;
    std::vector<std::thread> workers;
    std::thread acceptor;
};

const char* nameOf(FaultFront::Fault fault);
