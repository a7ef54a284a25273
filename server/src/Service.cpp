#include "Service.h"

#include "ConnectionTable.h"
#include "DownloadPage.h"
#include "Handlers.h"
#include "HttpSession.h"
#include "Impressions.h"
#include "PasswordHash.h"
#include "Postgres.h"
#include "Routes.h"
#include "Storage.h"
#include "WorkPool.h"

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>

#include <openssl/ssl.h>

#include <algorithm>
#include <iostream>
#include <mutex>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>

namespace corlune::server {

namespace {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;

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

std::unique_ptr<Impressions> makeImpressions(const ServeOptions& o) {
    if (!o.impressionsFile.empty()) {
        return Impressions::fromFile(o.impressionsFile);
    }
    return o.demo ? Impressions::fixed(Impressions::demoFigures()) : nullptr;
}

std::size_t threadsOrCores(int threads) {
    return threads > 0 ? static_cast<std::size_t>(threads)
                       : std::max(1u, std::thread::hardware_concurrency());
}

std::unique_ptr<Storage> openDatabase(const ServeOptions& o) {
    try {
        // A connection for each thread that may ask at once, and the event writer's.
        auto storage =
            openStorage(o.db, static_cast<std::size_t>(o.threads) + threadsOrCores(o.verifyThreads) + 1);
        if (o.demo) {
            addDemoEmployee(*storage);
        }
        return storage;
    } catch (const std::exception& e) {
        throw std::runtime_error(withoutPassword(o.db) + ": " + e.what());
    }
}

DownloadPage makeSite(const ServeOptions& o) {
    struct stat folder {};
    if (!o.downloadsDir.empty() &&
        (::stat(o.downloadsDir.c_str(), &folder) != 0 || !S_ISDIR(folder.st_mode))) {
        std::cerr << "corlune-track-server: " << o.downloadsDir
                  << " is not a folder yet; the download page offers no package until it is\n";
    }
    return DownloadPage(o.latestVersion, o.releaseNotesFile, o.downloadsDir);
}

// Every connection holds a descriptor; the cap leaves room for the database's and the
// listener's, so a full house is answered 503 rather than failing to accept.
HttpLimits fitToDescriptors(HttpLimits limits) {
    constexpr rlim_t reserved = 64;
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur != RLIM_INFINITY &&
        limits.maxConnections + reserved > files.rlim_cur) {
        limits.maxConnections = files.rlim_cur > 2 * reserved ? files.rlim_cur - reserved : reserved;
        std::cerr << "corlune-track-server: at most " << limits.maxConnections
                  << " connections: the limit of open files allows no more\n";
    }
    return limits;
}

// TLS 1.2 and 1.3 only; on 1.2 only suites with forward secrecy and authenticated encryption
// (ECDHE with AES-GCM or ChaCha20-Poly1305). Every 1.3 suite is both, and 1.3 is chosen
// whenever the client offers it.
std::unique_ptr<asio::ssl::context> makeTls(const ServeOptions& o) {
    auto tls = std::make_unique<asio::ssl::context>(asio::ssl::context::tls_server);
    SSL_CTX* ctx = tls->native_handle();
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    SSL_CTX_set_options(ctx,
                        SSL_OP_CIPHER_SERVER_PREFERENCE | SSL_OP_NO_COMPRESSION | SSL_OP_NO_RENEGOTIATION);
    // Idle connections hand their read and write buffers back.
    SSL_CTX_set_mode(ctx, SSL_MODE_RELEASE_BUFFERS);
    const bool loaded =
        SSL_CTX_set_cipher_list(ctx, "ECDHE-ECDSA-AES128-GCM-SHA256:ECDHE-RSA-AES128-GCM-SHA256:"
                                     "ECDHE-ECDSA-AES256-GCM-SHA384:ECDHE-RSA-AES256-GCM-SHA384:"
                                     "ECDHE-ECDSA-CHACHA20-POLY1305:ECDHE-RSA-CHACHA20-POLY1305") == 1 &&
        SSL_CTX_use_certificate_chain_file(ctx, o.tlsCert.c_str()) == 1 &&
        SSL_CTX_use_PrivateKey_file(ctx, o.tlsKey.c_str(), SSL_FILETYPE_PEM) == 1 &&
        SSL_CTX_check_private_key(ctx) == 1;
    if (!loaded) {
        throw std::runtime_error("cannot load the TLS certificate " + o.tlsCert + " or key " + o.tlsKey);
    }
    return tls;
}

} // namespace

struct Service::State {
    explicit State(const ServeOptions& o)
        : options(o)
        , limits(fitToDescriptors(o.limits))
        , storage(openDatabase(o))
        , impressions(makeImpressions(o))
        , throttle(storage->verifyThrottle(clock, VerifyThrottle::Rule{}))
        , handlers(*storage, *throttle, clock, impressions.get(),
                   VersionAnswer{o.latestVersion, o.updateAvailable},
                   TokenRule{std::chrono::days(o.tokenDays), o.allowAnonymousReports})
        , site(makeSite(o))
        , routes(handlers, site, o.delay, o.delayScope)
        , table(limits.maxConnections, limits.maxConnectionsPerAddress, limits.maxPendingBodies)
        // Each connection has at most one request in the pool, so the table's cap bounds it.
        , events(threadsOrCores(o.threads), limits.maxConnections)
        , verifies(threadsOrCores(o.verifyThreads), static_cast<std::size_t>(o.verifyQueue))
        , tls(o.tlsCert.empty() ? nullptr : makeTls(o))
        , acceptor(asio::make_strand(io))
        , retry(acceptor.get_executor()) {}

    void listen();
    void accept();

    const ServeOptions options;
    const HttpLimits limits;
    std::unique_ptr<Storage> storage;
    std::unique_ptr<Impressions> impressions;
    SystemClock clock;
    std::unique_ptr<VerifyThrottle> throttle;
    Handlers handlers;
    DownloadPage site;
    Routes routes;
    // Connections refer to everything above and are destroyed with `io`, so it comes after.
    ConnectionTable table;
    WorkPool events;
    WorkPool verifies;
    std::atomic<bool> stopping = false;
    SessionContext context{limits, routes, events, verifies, table, stopping};
    std::unique_ptr<asio::ssl::context> tls;
    asio::io_context io;
    // A connection waiting for its handler has nothing pending on `io`; without this, `io`
    // could run out of work and its threads end before the answer is posted.
    asio::executor_work_guard<asio::io_context::executor_type> busy = asio::make_work_guard(io);
    tcp::acceptor acceptor;
    asio::steady_timer retry;
    std::vector<std::thread> threads;
    int port = 0;
    std::once_flag stopped;
};

void Service::State::listen() {
    boost::system::error_code ec;
    tcp::resolver resolver(io);
    const auto found = resolver.resolve(options.host, std::to_string(options.port),
                                        tcp::resolver::numeric_service | tcp::resolver::passive, ec);
    if (!ec) {
        const tcp::endpoint endpoint = found.begin()->endpoint();
        acceptor.open(endpoint.protocol(), ec);
    }
    if (!ec) {
        // Without SO_REUSEPORT, which would let a second server share the port silently.
        acceptor.set_option(tcp::acceptor::reuse_address(true), ec);
        acceptor.bind(found.begin()->endpoint(), ec);
    }
    if (!ec) {
        acceptor.listen(asio::socket_base::max_listen_connections, ec);
    }
    if (!ec) {
        port = acceptor.local_endpoint(ec).port();
    }
    if (ec) {
        throw std::runtime_error("cannot listen on " + options.host + ':' + std::to_string(options.port) +
                                 ": " + ec.message());
    }
}

void Service::State::accept() {
    acceptor.async_accept(asio::make_strand(io), [this](boost::system::error_code ec, tcp::socket socket) {
        if (ec == asio::error::operation_aborted || !acceptor.is_open()) {
            return;
        }
        if (!ec) {
            serveConnection(context, std::move(socket), tls.get());
            return accept();
        }
        // Out of descriptors or memory for a moment: try again shortly rather than spin.
        retry.expires_after(std::chrono::milliseconds(100));
        retry.async_wait([this](boost::system::error_code) {
            if (acceptor.is_open()) {
                accept();
            }
        });
    });
}

Service::Service(const ServeOptions& options)
    : state(std::make_unique<State>(options)) {
    state->listen();
    state->accept();
    const std::size_t ioThreads = threadsOrCores(options.ioThreads);
    for (std::size_t i = 0; i < ioThreads; ++i) {
        state->threads.emplace_back([this] { state->io.run(); });
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
        State& s = *state;
        s.stopping = true;
        asio::post(s.acceptor.get_executor(), [&s] {
            boost::system::error_code ignored;
            s.acceptor.close(ignored);
            s.retry.cancel();
        });
        s.table.stopAll();
        s.table.waitEmpty(s.options.stopTimeout);
        // Past the bound: what has not started is dropped, what is being stored finishes.
        s.events.dropPending();
        s.verifies.dropPending();
        s.io.stop();
        for (auto& thread : s.threads) {
            thread.join();
        }
        s.events.join();
        s.verifies.join();
    });
}

} // namespace corlune::server
