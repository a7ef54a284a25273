#include "Commands.h"
#include "Handlers.h"
#include "Impressions.h"
#include "PasswordHash.h"
#include "Routes.h"
#include "StopSignal.h"
#include "Storage.h"
#include "VerifyThrottle.h"

#include <httplib.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <pthread.h>
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

void announce(const ServeOptions& o, int port) {
    if (!o.portFile.empty()) {
        // Written whole under another name first, so a reader never sees half a number.
        const std::string partial = o.portFile + ".partial";
        std::ofstream(partial) << port << '\n';
        std::rename(partial.c_str(), o.portFile.c_str());
    }
    const std::string host = o.host.find(':') == std::string::npos ? o.host : "[" + o.host + "]";
    std::printf("listening on %s:%d\n", host.c_str(), port);
    std::fflush(stdout);
}

} // namespace

int runServe(const ServeOptions& o) {
    // Blocked before any thread starts, so every thread inherits the mask and only the waiter
    // below receives them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN); // a client gone mid-answer is an error return, not a death

    std::unique_ptr<Storage> storage;
    try {
        storage = std::make_unique<Storage>(o.db);
    } catch (const std::exception& e) {
        std::cerr << "corlune-track-server: " << o.db << ": " << e.what() << '\n';
        return 1;
    }
    if (o.demo) {
        addDemoEmployee(*storage);
    }
    std::unique_ptr<Impressions> impressions;
    if (!o.impressionsFile.empty()) {
        impressions = Impressions::fromFile(o.impressionsFile);
    } else if (o.demo) {
        impressions = Impressions::fixed(Impressions::demoFigures());
    }
    SystemClock clock;
    VerifyThrottle throttle(clock);
    Handlers handlers(*storage, throttle, clock, impressions.get(),
                      VersionAnswer{o.latestVersion, o.updateAvailable},
                      TokenRule{std::chrono::days(o.tokenDays), o.allowAnonymousReports});

    const auto server = makeServer(o);
    if (!server->is_valid()) {
        std::cerr << "corlune-track-server: cannot load the TLS certificate " << o.tlsCert << " or key "
                  << o.tlsKey << '\n';
        return 1;
    }
    StopSignal stop;
    installRoutes(*server, handlers, AnswerDelay{o.delay, o.delayScope}, stop);

    int port = o.port;
    if (port == 0) {
        port = server->bind_to_any_port(o.host);
    } else if (!server->bind_to_port(o.host, port)) {
        port = -1;
    }
    if (port <= 0) {
        std::cerr << "corlune-track-server: cannot listen on " << o.host << ':' << o.port << '\n';
        return 1;
    }
    announce(o, port);

    std::atomic<bool> listenEnded = false;
    std::thread signalWaiter([&] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        stop.request();
        // stop() does nothing before the accept loop runs, so wait for it to start.
        while (!server->is_running() && !listenEnded) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        server->stop();
    });
    const bool listened = server->listen_after_bind();
    listenEnded = true;
    if (!stop.requested()) {
        pthread_kill(signalWaiter.native_handle(), SIGTERM);
    }
    signalWaiter.join();
    storage.reset();
    std::cerr << "corlune-track-server: stopped\n";
    return listened || stop.requested() ? 0 : 1;
}

} // namespace corlune::server
