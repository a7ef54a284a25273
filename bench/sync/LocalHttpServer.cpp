#include "LocalHttpServer.h"

#include <stdexcept>

LocalHttpServer::LocalHttpServer()
    : server(std::make_unique<httplib::Server>()) {
    responder = [](const Received&, httplib::Response& response) {
        response.set_content("{}", "application/json");
    };
    // Benchmarks send thousands of requests over one connection, and an answer written in two
    // parts must not wait for a delayed ACK.
    server->set_keep_alive_max_count(1'000'000);
    server->set_tcp_nodelay(true);
    const auto handle = [this](const httplib::Request& request, httplib::Response& response) {
        Received r;
        r.method = request.method;
        r.target = request.target;
        r.body = request.body;
        r.contentType = request.get_header_value("Content-Type");
        r.remotePort = request.remote_port;
        Responder respond;
        {
            const std::lock_guard lock(mutex);
            log.push_back(r);
            respond = responder;
        }
        respond(r, response);
    };
    server->Get(".*", handle);
    server->Post(".*", handle);
    boundPort = server->bind_to_any_port("127.0.0.1");
    if (boundPort <= 0)
        throw std::runtime_error("no free loopback port");
    listener = std::thread([this] { server->listen_after_bind(); });
    for (int i = 0; i < 500 && !server->is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (!server->is_running())
        throw std::runtime_error("the local server did not start");
}

LocalHttpServer::~LocalHttpServer() {
    server->stop();
    listener.join();
}

QString LocalHttpServer::baseUrl() const {
    return QStringLiteral("http://127.0.0.1:%1").arg(boundPort);
}

void LocalHttpServer::setResponder(Responder r) {
    const std::lock_guard lock(mutex);
    responder = std::move(r);
}

std::vector<LocalHttpServer::Received> LocalHttpServer::received() const {
    const std::lock_guard lock(mutex);
    return log;
}
