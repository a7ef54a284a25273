#pragma once

#include <httplib.h>

#include <QString>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

/// A real HTTP (or HTTPS) server on a free 127.0.0.1 port, run on its own threads for the
/// lifetime of the object. It records every request and answers each through `respond`
/// (by default 200 with "{}"), which runs on a server thread.
class LocalHttpServer {
public:
    struct Received {
        std::string method;
        std::string target; // path and query exactly as sent
        std::string path;   // decoded by the server
        httplib::Params params;
        std::string body;
        std::string contentType;
        std::string idempotencyKey;
        bool hasIdempotencyKey = false;
        int remotePort = 0;
    };
    using Responder = std::function<void(const Received&, httplib::Response&)>;

    /// Plain HTTP.
    LocalHttpServer();
    /// HTTPS with this certificate chain and key (PEM files).
    LocalHttpServer(const std::string& certificatePath, const std::string& keyPath);
    ~LocalHttpServer();
    LocalHttpServer(const LocalHttpServer&) = delete;
    LocalHttpServer& operator=(const LocalHttpServer&) = delete;

    /// "http://127.0.0.1:PORT" (or https).
    QString baseUrl() const;
    int port() const { return boundPort; }

    /// Replaces the answer of every later request.
    void setResponder(Responder responder);
    std::vector<Received> received() const;
    /// Waits until at least \a count requests have arrived; false when \a timeout passed first.
    bool waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;
    /// Ends the server now; pending answers are cut off.
    void stop();

private:
    void start();

    std::unique_ptr<httplib::Server> server;
    bool tls = false;
    int boundPort = 0;
    std::thread listener;
    mutable std::mutex mutex;
    mutable std::condition_variable arrived;
    std::vector<Received> log;
    Responder responder;
};
