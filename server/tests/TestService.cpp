#include "PasswordHash.h"
#include "Service.h"
#include "Sqlite.h"
#include "Storage.h"
#include "TempDir.h"

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http.hpp>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <future>
#include <thread>

using namespace corlune::server;
using namespace std::chrono_literals;
namespace asio = boost::asio;
namespace http = boost::beast::http;
using tcp = asio::ip::tcp;

namespace {

ServeOptions optionsIn(const TempDir& dir) {
    ServeOptions o;
    o.db = dir.file("track.db");
    o.port = 0;
    o.allowAnonymousReports = true; // the raw requests below carry no token
    openStorage(o.db)->addEmployee("e1", *hashPassword("pw"), {"j1"});
    return o;
}

std::string post(const std::string& path, const std::string& body) {
    return "POST " + path +
           " HTTP/1.1\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\n\r\n" + body;
}

const std::string clockIn =
    post("/api/time/clock-in", R"({"employeeId":"e1","jobId":"j1","clockIn":"2024-03-05T09:00:00Z"})");
const std::string signIn = post("/api/users/verify", R"({"employeeId":"e1","jobId":"j1","password":"x"})");
/// A failed sign-in of its own employee ID: the slow-down holds back repeats of one ID from one
/// address, so requests meant to fill a queue or a cap must differ.
std::string signInAs(int n) {
    return post("/api/users/verify",
                R"({"employeeId":"u)" + std::to_string(n) + R"(","jobId":"j1","password":"x"})");
}
const std::string version = "GET /api/version HTTP/1.1\r\n\r\n";

/// A connection to the service from a loopback address of its choice. Reads give up after
/// a few seconds, so a service that neither answers nor closes fails the test instead of
/// hanging it.
template <class Stream = tcp::socket>
class Client {
public:
    template <class... Args>
    explicit Client(int port, const char* from = "127.0.0.1", Args&... streamArgs)
        : stream(io, streamArgs...) {
        auto& socket = stream.lowest_layer();
        socket.open(tcp::v4());
        socket.bind({asio::ip::make_address(from), 0});
        socket.connect({asio::ip::make_address("127.0.0.1"), static_cast<unsigned short>(port)});
    }

    /// Write errors are ignored: a service may rightly close before a hostile client is done.
    void send(std::string_view bytes, std::chrono::milliseconds betweenBytes = 0ms) {
        boost::system::error_code ignored;
        if (betweenBytes == 0ms) {
            asio::write(stream, asio::buffer(bytes), ignored);
        }
        for (std::size_t i = 0; betweenBytes > 0ms && i < bytes.size() && !ignored; ++i) {
            asio::write(stream, asio::buffer(bytes.substr(i, 1)), ignored);
            std::this_thread::sleep_for(betweenBytes);
        }
    }

    /// The next answer's status, -1 when nothing came in time, 0 when the connection closed.
    int read() {
        answer.emplace();
        answer->body_limit(1 << 20);
        boost::system::error_code ec = asio::error::timed_out;
        http::async_read(stream, buffer, *answer, [&](boost::system::error_code e, std::size_t) { ec = e; });
        io.restart();
        io.run_for(5s);
        if (ec == asio::error::timed_out) {
            return -1;
        }
        if (ec) {
            return 0;
        }
        EXPECT_EQ(answer->get()[http::field::content_type], "application/json");
        EXPECT_TRUE(nlohmann::json::parse(answer->get().body(), nullptr, false).is_object());
        return answer->get().result_int();
    }

    /// Every answer until the connection closes.
    std::vector<int> readUntilClosed() {
        std::vector<int> statuses;
        for (int status = read(); status != 0; status = read()) {
            statuses.push_back(status);
            if (status < 0) {
                break;
            }
        }
        return statuses;
    }

    asio::io_context io;
    Stream stream;
    boost::beast::flat_buffer buffer;
    std::optional<http::response_parser<http::string_body>> answer;
};

struct Refusal {
    const char* name;
    std::string request;
    std::vector<int> statuses; ///< answered in this order, then the connection closes
    std::chrono::milliseconds betweenBytes = 0ms;
};

void PrintTo(const Refusal& refusal, std::ostream* out) {
    *out << refusal.name;
}

std::string chunked(std::size_t chunks) {
    std::string request = "POST /api/time/clock-in HTTP/1.1\r\nContent-Type: application/json\r\n"
                          "Transfer-Encoding: chunked\r\n\r\n";
    for (std::size_t i = 0; i < chunks; ++i) {
        request += "1000\r\n" + std::string(0x1000, ' ') + "\r\n";
    }
    return request + "0\r\n\r\n";
}

std::string withFields(std::size_t count, std::size_t valueBytes) {
    std::string request = "GET /api/version HTTP/1.1\r\n";
    for (std::size_t i = 0; i < count; ++i) {
        request += "X-Field-" + std::to_string(i) + ": " + std::string(valueBytes, 'v') + "\r\n";
    }
    return request + "\r\n";
}

class Refusals : public testing::TestWithParam<Refusal> {};

TEST_P(Refusals, AreAnsweredAndTheConnectionClosed) {
    TempDir dir;
    ServeOptions o = optionsIn(dir);
    o.limits.headerTimeout = o.limits.bodyTimeout = o.limits.idleTimeout = 300ms;
    Service service(o);
    Client client(service.port());
    client.send(GetParam().request, GetParam().betweenBytes);
    EXPECT_EQ(client.readUntilClosed(), GetParam().statuses);
}

INSTANTIATE_TEST_SUITE_P(
    TestService, Refusals,
    testing::Values(
        Refusal{"ChunkedBodyOverTheLimit", chunked(17), {413}},
        Refusal{"DeclaredBodyOverTheLimit",
                "POST /api/time/clock-in HTTP/1.1\r\nContent-Type: application/json\r\nContent-Length: "
                "65537\r\n\r\n",
                {413}},
        Refusal{"CompressedBody",
                "POST /api/time/clock-in HTTP/1.1\r\nContent-Type: application/json\r\nContent-Encoding: "
                "identity\r\nContent-Length: 2\r\n\r\n{}",
                {415}},
        Refusal{"TooManyHeaderFields", withFields(101, 1), {431}},
        Refusal{"HeaderOverItsSize", withFields(1, 16 * 1024), {431}},
        Refusal{"HeaderNeverEnds", "GET /api/version HTTP/1.1\r\n", {408}},
        Refusal{"HeaderTrickledPastItsDeadline",
                "GET /api/version HTTP/1.1\r\nX-Slow: 1234567890\r\n\r\n",
                {408},
                25ms},
        Refusal{"BodyNeverEnds", clockIn.substr(0, clockIn.size() - 1), {408}},
        Refusal{"MalformedRequest", "GET /api/version HTTP/9\r\n\r\n", {400}},
        Refusal{"IdleKeptAliveConnection", version, {200}},
        // The password check takes longest, and is still answered first.
        Refusal{"PipelinedRequestsInOrder",
                signIn +
                    "GET /nothing HTTP/1.1\r\n\r\nPOST /api/version HTTP/1.1\r\nContent-Length: 0\r\n\r\n" +
                    version,
                {200, 404, 405, 200}}),
    [](const auto& p) { return std::string(p.param.name); });

/// Sends a request and reads its answer on a connection it leaves open.
int ask(Client<>& client, const std::string& request = version) {
    client.send(request);
    return client.read();
}

TEST(TestService, ConnectionsAndSlowBodiesBeyondACapAreAnswered503) {
    TempDir dir;
    ServeOptions o = optionsIn(dir);
    o.limits.maxConnectionsPerAddress = 2;
    o.limits.maxConnections = 3;
    o.limits.maxPendingBodies = 1;
    Service service(o);
    auto first = std::make_unique<Client<>>(service.port());
    Client second(service.port());
    ASSERT_EQ(ask(*first), 200);
    ASSERT_EQ(ask(second), 200);
    const std::string body = signInAs(0);
    const std::string firstPart = body.substr(0, body.size() - 1);
    const std::string lastByte = body.substr(body.size() - 1);
    second.send(firstPart);
    Client third(service.port());
    EXPECT_EQ(ask(third), 503) << "a third from one address";
    Client other(service.port(), "127.0.0.2");
    EXPECT_EQ(ask(other), 200) << "another address has a share of its own";
    EXPECT_EQ(Client(service.port(), "127.0.0.2").readUntilClosed(), std::vector<int>{503}) << "the total";
    EXPECT_EQ(ask(other, firstPart), 503) << "a second body arriving at once";
    EXPECT_EQ(ask(second, lastByte), 200);
    first.reset();
    int status = 503;
    for (int n = 1; status == 503 && n < 500; ++n) {
        const std::string next = signInAs(n);
        Client again(service.port());
        again.send(next.substr(0, next.size() - 1));
        status = ask(again, next.substr(next.size() - 1));
        if (status == 503)
            std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(status, 200) << "a closed connection and a finished body give their places back";
}

TEST(TestService, SignInsBeyondTheirQueueAreAnswered503AtOnce) {
    TempDir dir;
    ServeOptions o = optionsIn(dir);
    o.verifyThreads = 1;
    o.verifyQueue = 1;
    Service service(o);
    std::vector<std::unique_ptr<Client<>>> clients;
    for (int i = 0; i < 6; ++i) {
        clients.push_back(std::make_unique<Client<>>(service.port()));
        clients.back()->send(signInAs(i));
    }
    std::map<int, int> statuses;
    for (auto& client : clients) {
        const int status = client->read();
        ++statuses[status];
        if (status == 503) {
            EXPECT_EQ(client->answer->get()[http::field::retry_after], "1");
        }
    }
    EXPECT_EQ(statuses[200], 2) << "one checked, one queued";
    EXPECT_EQ(statuses[503], 4);
}

TEST(TestService, TlsOffersOnlyForwardSecretAuthenticatedSuites) {
    TempDir dir;
    ServeOptions o = optionsIn(dir);
    o.tlsCert = dir.file("cert.pem");
    o.tlsKey = dir.file("key.pem");
    ASSERT_EQ(std::system(("openssl req -x509 -newkey rsa:2048 -nodes -days 1 "
                           "-subj /CN=localhost -keyout " +
                           o.tlsKey + " -out " + o.tlsCert + " 2>/dev/null")
                              .c_str()),
              0);
    o.limits.headerTimeout = 300ms;
    Service service(o);
    struct Offer {
        int maxVersion;
        const char* ciphers;
        int negotiated; ///< 0: refused
    };
    for (const Offer offer : {Offer{TLS1_3_VERSION, "DEFAULT", TLS1_3_VERSION},
                              Offer{TLS1_2_VERSION, "ECDHE-RSA-AES128-GCM-SHA256", TLS1_2_VERSION},
                              Offer{TLS1_2_VERSION, "AES128-SHA:AES256-GCM-SHA384:DHE-RSA-AES128-SHA", 0},
                              Offer{TLS1_2_VERSION, "ECDHE-RSA-AES128-SHA", 0}}) {
        SCOPED_TRACE(offer.ciphers);
        asio::ssl::context context(asio::ssl::context::tls_client);
        SSL_CTX_set_max_proto_version(context.native_handle(), offer.maxVersion);
        SSL_CTX_set_cipher_list(context.native_handle(), offer.ciphers);
        Client<asio::ssl::stream<tcp::socket>> client(service.port(), "127.0.0.1", context);
        boost::system::error_code ec;
        client.stream.handshake(asio::ssl::stream_base::client, ec);
        EXPECT_EQ(ec ? 0 : SSL_version(client.stream.native_handle()), offer.negotiated);
        if (!ec) {
            client.send(version);
            EXPECT_EQ(client.read(), 200);
        }
    }
    EXPECT_EQ(Client(service.port()).readUntilClosed(), std::vector<int>{}) << "a silent handshake";
}

TEST(TestService, StopAnswersWhatIsBeingStoredAndClosesTheRest) {
    TempDir dir;
    ServeOptions o = optionsIn(dir);
    Service service(o);
    Client stalled(service.port());
    stalled.send(clockIn.substr(0, 100));
    Client idle(service.port());
    ASSERT_EQ(ask(idle), 200);
    Connection holder(o.db);
    auto lock = std::make_unique<Transaction>(holder);
    Client reporter(service.port());
    reporter.send(clockIn);
    // Long enough for the report to reach storage, where the lock keeps it.
    std::this_thread::sleep_for(300ms);
    const auto stopping = std::chrono::steady_clock::now();
    auto stopped = std::async(std::launch::async, [&] { service.stop(); });
    std::this_thread::sleep_for(300ms);
    lock.reset();
    EXPECT_EQ(reporter.readUntilClosed(), std::vector<int>{201});
    stopped.get();
    EXPECT_LT(std::chrono::steady_clock::now() - stopping, 3s);
    EXPECT_EQ(stalled.readUntilClosed(), std::vector<int>{});
    EXPECT_EQ(idle.readUntilClosed(), std::vector<int>{});
}

} // namespace
