#include "Service.h"

#include "Handlers.h"
#include "Impressions.h"
#include "PasswordHash.h"
#include "Routes.h"
#include "StopSignal.h"
#include "Storage.h"
#include "VerifyThrottle.h"

#include <httplib.h>

#include <iostream>
#include <mutex>
#include <stdexcept>
#include <sys/socket.h>
#include <thread>

namespace corlune::server {

namespace {

/// Seconds an idle kept-alive connection is held. A graceful stop waits for idle connections
/// up to this long (httplib offers no way to close them sooner), so it is kept short.
constexpr int keepAliveSeconds = 2;

void addDemoEmployee(Storage& storage) {
    const auto existing = storage.employees();
    if (!existing || !existing->empty()) {
        return;
    }
    const auto hash = hashPassword("demo");
    if (hash && storage.addEmployee("demo", *hash, {"demo", "0"}) == AddOutcome::Added) {
        std::cerr << "corlune-track-server: added the demo employee \"demo\" (password \"demo\") on the jobs "
                     "\"demo\" and \"0\"\n";
    }
}

std::unique_ptr<httplib::Server> makeServer(const ServeOptions& o) {
    std::unique_ptr<httplib::Server> server;
    if (o.tlsCert.empty()) {
        server = std::make_unique<httplib::Server>();
    } else {
        server = std::make_unique<httplib::SSLServer>(o.tlsCert.c_str(), o.tlsKey.c_str());
    }
    const std::size_t threads = static_cast<std::size_t>(o.threads);
    server->new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
    server->set_payload_max_length(maxBodyBytes);
    server->set_keep_alive_max_count(1000);
    server->set_keep_alive_timeout(keepAliveSeconds);
    server->set_tcp_nodelay(true);
    // httplib's default also sets SO_REUSEPORT, which lets a second server bind the same port
    // and silently share its connections; a port in use must be an error instead.
    server->set_socket_options([](socket_t sock) {
        const int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    return server;
}

} // namespace

struct Service::State {
    std::unique_ptr<Storage> storage;
    std::unique_ptr<Impressions> impressions;
    SystemClock clock;
    std::unique_ptr<VerifyThrottle> throttle;
    std::unique_ptr<Handlers> handlers;
    StopSignal stopSignal;
    std::unique_ptr<httplib::Server> server;
    int port = 0;
    std::thread listener;
    std::once_flag stopped;
};

Service::Service(const ServeOptions& o)
    : state(std::make_unique<State>()) {
    State& s = *state;
    try {
        s.storage = std::make_unique<Storage>(o.db);
    } catch (const std::exception& e) {
        throw std::runtime_error(o.db + ": " + e.what());
    }
    if (o.demo) {
        addDemoEmployee(*s.storage);
    }
    if (!o.impressionsFile.empty()) {
        s.impressions = Impressions::fromFile(o.impressionsFile);
    } else if (o.demo) {
        s.impressions = Impressions::fixed(Impressions::demoFigures());
    }
    s.throttle = std::make_unique<VerifyThrottle>(s.clock);
    s.handlers =
        std::make_unique<Handlers>(*s.storage, *s.throttle, s.clock, s.impressions.get(),
                                   VersionAnswer{o.latestVersion, o.updateAvailable},
                                   TokenRule{std::chrono::days(o.tokenDays), o.allowAnonymousReports});
    s.server = makeServer(o);
    if (!s.server->is_valid()) {
        throw std::runtime_error("cannot load the TLS certificate " + o.tlsCert + " or key " + o.tlsKey);
    }
    installRoutes(*s.server, *s.handlers, AnswerDelay{o.delay, o.delayScope}, s.stopSignal);
    s.port = o.port;
    if (s.port == 0) {
        s.port = s.server->bind_to_any_port(o.host);
    } else if (!s.server->bind_to_port(o.host, s.port)) {
        s.port = -1;
    }
    if (s.port <= 0) {
        throw std::runtime_error("cannot listen on " + o.host + ':' + std::to_string(o.port));
    }
    s.listener = std::thread([&s] { s.server->listen_after_bind(); });
    while (!s.server->is_running()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

Service::~Service() {
    stop();
}

int Service::port() const {
    return state->port;
}

void Service::stop() {
    std::call_once(state->stopped, [this] {
        state->stopSignal.request();
        state->server->stop();
        state->listener.join();
        state->handlers.reset();
        state->storage.reset();
    });
}

} // namespace corlune::server
