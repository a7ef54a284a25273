#pragma once

#include <httplib.h>

#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

/// A real HTTP server on a free 127.0.0.1 port, for the transport's own figures without a
/// service's work behind it; run on its own threads for the lifetime of the object. It records
/// every request and answers each through the responder (by default 200 with "{}"), which runs
/// on a server thread.
class LocalHttpServer {
public:
    struct Received {
        std::string method;
        std::string target; // path and query exactly as sent
        std::string body;
        std::string contentType;
        int remotePort = 0;
    };
    using Responder = std::function<void(const Received&, httplib::Response&)>;

    LocalHttpServer();
    ~LocalHttpServer();
    LocalHttpServer(const LocalHttpServer&) = delete;
    LocalHttpServer& operator=(const LocalHttpServer&) = delete;

    /// "http://127.0.0.1:PORT".
    QString baseUrl() const;
    int port() const { return boundPort; }

    /// Replaces the answer of every later request.
    void setResponder(Responder responder);
    std::vector<Received> received() const;

private:
    std::unique_ptr<httplib::Server> server;
    int boundPort = 0;
    std::thread listener;
    mutable std::mutex mutex;
    std::vector<Received> log;
    Responder responder;
};
