#include "Options.h"
#include "PasswordHash.h"
#include "Service.h"
#include "Sqlite.h"
#include "Storage.h"
#include "TempDir.h"
#include "WaitFor.h"

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http.hpp>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <future>
#include <sstream>
#include <thread>

using namespace corlune::server;
using namespace std::chrono_literals;
namespace asio = boost::asio;
namespace http = boost::beast::http;
using tcp = asio::ip::tcp;

namespace {

/// Options read from a serve command line (FILE stands for an impressions file holding
/// {"a":1}), on a fresh database that holds e1, password "pw", on j1 unless `empty`.
ServeOptions optionsIn(const TempDir& dir, const std::string& args = "--allow-anonymous-reports",
                       bool empty = false) {
    std::ofstream(dir.file("impressions.json")) << R"({"a":1})";
    std::vector<std::string> words = {"serve", "--listen", "127.0.0.1:0", "--db", dir.file("track.db")};
    std::istringstream in(args);
    for (std::string word; in >> word;) {
        words.push_back(word == "FILE" ? dir.file("impressions.json") : word);
    }
    const auto command = parseCommandLine(words);
    EXPECT_TRUE(command.value) << command.error;
    const ServeOptions o = std::get<ServeOptions>(*command.value);
    if (!empty) {
        openStorage(o.db)->addEmployee("e1", *hashPassword("pw"), {"j1"});
    }
    return o;
}

std::string post(const std::string& path, const std::string& body, const std::string& headers = "") {
    return "POST " + path + " HTTP/1.1\r\n" + headers +
           "Content-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" +
           body;
}

const std::string clockInBody = R"({"employeeId":"e1","jobId":"j1","clockIn":"2024-03-05T09:00:00Z"})";
const std::string clockIn = post("/api/time/clock-in", clockInBody);
/// A sign-in; the slow-down holds back repeats of one ID from one address, so failed ones
/// meant to fill a queue or a cap use IDs of their own.
std::string verify(const std::string& employee, const std::string& job = "j1",
                   const std::string& password = "x") {
    return post("/api/users/verify", R"({"employeeId":")" + employee + R"(","jobId":")" + job +
                                         R"(","password":")" + password + R"("})");
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
        const std::size_t step = betweenBytes > 0ms ? 1 : bytes.size();
        for (std::size_t i = 0; i < bytes.size() && !ignored; i += step) {
            asio::write(stream, asio::buffer(bytes.substr(i, step)), ignored);
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
        if (ec) {
            return ec == asio::error::timed_out ? -1 : 0;
        }
        EXPECT_EQ(answer->get()[http::field::content_type], "application/json");
        EXPECT_TRUE(nlohmann::json::parse(answer->get().body(), nullptr, false).is_object());
        return answer->get().result_int();
    }

    /// Every answer until the connection closes.
    std::vector<int> readUntilClosed() {
        std::vector<int> statuses;
        for (int status = 1; status > 0 && (status = read()) != 0;) {
            statuses.push_back(status);
        }
        return statuses;
    }

    asio::io_context io;
    Stream stream;
    boost::beast::flat_buffer buffer;
    std::optional<http::response_parser<http::string_body>> answer;
};

/// Sends a request and reads its answer on a connection it leaves open.
int ask(Client<>& client, const std::string& request = version) {
    client.send(request);
    return client.read();
}

std::string repeated(const std::string& text, int times) {
    std::string all;
    while (times-- > 0) {
        all += text;
    }
    return all;
}

// Each: the request, sent whole or a byte at a time with a pause, and the statuses answered
// in order before the connection closes.
TEST(TestService, RefusalsAreAnsweredAndTheConnectionClosed) {
    TempDir dir;
    ServeOptions o = optionsIn(dir);
    o.limits.headerTimeout = o.limits.bodyTimeout = o.limits.idleTimeout = 300ms;
    Service service(o);
    const std::string declared = "POST /api/time/clock-in HTTP/1.1\r\nContent-Type: application/json\r\n";
    for (const auto& [request, statuses, betweenBytes] :
         std::vector<std::tuple<std::string, std::vector<int>, std::chrono::milliseconds>>{
             {declared + "Transfer-Encoding: chunked\r\n\r\n" +
                  repeated("1000\r\n" + std::string(0x1000, ' ') + "\r\n", 17) + "0\r\n\r\n",
              {413},
              0ms},
             {declared + "Content-Length: 65537\r\n\r\n", {413}, 0ms},
             {declared + "Content-Encoding: identity\r\nContent-Length: 2\r\n\r\n{}", {415}, 0ms},
             {"GET /api/version HTTP/1.1\r\n" + repeated("X-Field: v\r\n", 101) + "\r\n", {431}, 0ms},
             {"GET /api/version HTTP/1.1\r\nX-Field: " + std::string(16 * 1024, 'v') + "\r\n\r\n",
              {431},
              0ms},
             {"GET /api/version HTTP/1.1\r\n", {408}, 0ms},
             {"GET /api/version HTTP/1.1\r\nX-Slow: 1234567890\r\n\r\n", {408}, 25ms},
             {clockIn.substr(0, clockIn.size() - 1), {408}, 0ms},
             {"GET /api/version HTTP/9\r\n\r\n", {400}, 0ms},
             {version, {200}, 0ms}, // then idle until closed
             // The password check takes longest, and is still answered first.
             {verify("e1") +
                  "GET /nothing HTTP/1.1\r\n\r\nPOST /api/version HTTP/1.1\r\nContent-Length: 0\r\n\r\n" +
                  version,
              {200, 404, 405, 200},
              0ms}}) {
        SCOPED_TRACE(request.substr(0, 120));
        Client client(service.port());
        client.send(request, betweenBytes);
        EXPECT_EQ(client.readUntilClosed(), statuses);
    }
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
    const std::string body = verify("u0");
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
    int n = 0;
    EXPECT_TRUE(waitFor(5s, [&] {
        const std::string next = verify("u" + std::to_string(++n));
        Client again(service.port());
        again.send(next.substr(0, next.size() - 1));
        return ask(again, next.substr(next.size() - 1)) == 200;
    })) << "a closed connection and a finished body give their places back";
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
        clients.back()->send(verify("u" + std::to_string(i)));
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

// Each: the options, whether the database starts empty, the sign-in made first, the request
// made with its token (or the bare clock-in of e1), and the answer.
TEST(TestService, OptionsShapeTheService) {
    const std::string impressions = "GET /api/analytics/impressions HTTP/1.1\r\n";
    for (const auto& [args, empty, signIn, request, status, body] :
         std::vector<std::tuple<const char*, bool, std::string, std::string, int, const char*>>{
             {"", false, "", "", 401, ""},
             {"--allow-anonymous-reports", false, "", "", 201, ""},
             {"--demo", true, verify("demo", "0", "demo"), impressions, 200, ""},
             {"--demo", false, verify("demo", "0", "demo"), impressions, 401, ""},
             {"--impressions FILE", false, verify("e1", "j1", "pw"), impressions, 200, R"({"a":1})"},
             {"--latest-version 9.0.0 --update-available true", false, "", "GET /api/version HTTP/1.1\r\n",
              200, R"({"version":"9.0.0","updateAvailable":true})"}}) {
        SCOPED_TRACE(args + (" " + signIn));
        TempDir dir;
        Service service(optionsIn(dir, args, empty));
        Client client(service.port());
        std::string token;
        if (!signIn.empty() && ask(client, signIn) == 200) {
            token = nlohmann::json::parse(client.answer->get().body()).value("token", "");
        }
        const std::string authorization = token.empty() ? "" : "Authorization: Bearer " + token + "\r\n";
        EXPECT_EQ(ask(client, request.empty() ? post("/api/time/clock-in", clockInBody, authorization)
                                              : request + authorization + "\r\n"),
                  status);
        EXPECT_TRUE(*body == '\0' ||
                    nlohmann::json::parse(client.answer->get().body()) == nlohmann::json::parse(body));
    }
}

// 127.0.0.2 is loopback too: an attacker there must not keep the employee out at 127.0.0.1.
TEST(TestService, GuessesFromOneAddressDoNotHoldUpAnother) {
    TempDir dir;
    Service service(optionsIn(dir));
    Client attacker(service.port(), "127.0.0.2");
    EXPECT_EQ(ask(attacker, verify("e1", "j1", "guess")), 200);
    EXPECT_EQ(ask(attacker, verify("e1", "j1", "pw")), 429);
    Client employee(service.port());
    EXPECT_EQ(ask(employee, verify("e1", "j1", "pw")), 200);
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
    // Each: the highest version and the suites offered, and the version agreed (0: refused).
    for (const auto& [maxVersion, ciphers, negotiated] : std::vector<std::tuple<int, const char*, int>>{
             {TLS1_3_VERSION, "DEFAULT", TLS1_3_VERSION},
             {TLS1_2_VERSION, "ECDHE-RSA-AES128-GCM-SHA256", TLS1_2_VERSION},
             {TLS1_2_VERSION, "AES128-SHA:AES256-GCM-SHA384:DHE-RSA-AES128-SHA", 0},
             {TLS1_2_VERSION, "ECDHE-RSA-AES128-SHA", 0}}) {
        SCOPED_TRACE(ciphers);
        asio::ssl::context context(asio::ssl::context::tls_client);
        SSL_CTX_set_max_proto_version(context.native_handle(), maxVersion);
        SSL_CTX_set_cipher_list(context.native_handle(), ciphers);
        Client<asio::ssl::stream<tcp::socket>> client(service.port(), "127.0.0.1", context);
        boost::system::error_code ec;
        client.stream.handshake(asio::ssl::stream_base::client, ec);
        EXPECT_EQ(ec ? 0 : SSL_version(client.stream.native_handle()), negotiated);
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
