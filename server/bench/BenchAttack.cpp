// The service under attack, as its own process on loopback. Prints the latency of normal
// event reports while slow headers, idle kept-alive connections and password guesses hold
// the service, then its peak RSS after header and body floods.
//   bench_server_attack [SERVER_BINARY] [SECONDS]
#include <utility> // before Asio: its awaitable.hpp uses std::exchange without including it

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace asio = boost::asio;
namespace http = boost::beast::http;
using tcp = asio::ip::tcp;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

// The service binary, started on a free loopback port with a fresh database holding the
// employee "bench"; stopped with SIGTERM.
class ServerProcess {
public:
    ServerProcess(const std::string& binary, const std::filesystem::path& dir) {
        const std::string db = (dir / "bench.db").string();
        const std::string portFile = (dir / "port").string();
        const std::string add =
            "printf 'bench\\n' | " + binary + " employee add bench --job bench --db " + db;
        if (std::system((add + " >/dev/null").c_str()) != 0) {
            throw std::runtime_error("cannot add the employee");
        }
        pid = fork();
        if (pid == 0) {
            execl(binary.c_str(), binary.c_str(), "serve", "--db", db.c_str(), "--listen", "127.0.0.1:0",
                  "--port-file", portFile.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        for (auto deadline = Clock::now() + 10s; port == 0 && Clock::now() < deadline;) {
            std::this_thread::sleep_for(20ms);
            std::ifstream(portFile) >> port;
        }
        if (port == 0) {
            throw std::runtime_error("the service did not start");
        }
    }
    ~ServerProcess() {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }

    // Starts the peak (VmHWM) afresh from the current RSS.
    void resetPeak() const { std::ofstream("/proc/" + std::to_string(pid) + "/clear_refs") << "5\n"; }

    // "VmRSS" or "VmHWM" (the peak) in MiB.
    double memory(const std::string& field) const {
        std::ifstream status("/proc/" + std::to_string(pid) + "/status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind(field + ":", 0) == 0) {
                return std::stod(line.substr(field.size() + 1)) / 1024;
            }
        }
        return 0;
    }

    pid_t pid = -1;
    int port = 0;
};

std::string post(const std::string& path, const std::string& body, const std::string& extra = {}) {
    return "POST " + path + " HTTP/1.1\r\nContent-Type: application/json\r\n" + extra +
           "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

// Attackers share one thread; each runs until the deadline, reconnecting whenever the
// service closes on it.
class Attack {
public:
    explicit Attack(int port)
        : service(asio::ip::make_address("127.0.0.1"), static_cast<unsigned short>(port)) {}

    using Behaviour = std::function<asio::awaitable<void>(tcp::socket&)>;

    void add(int connections, const char* from, Behaviour behaviour) {
        for (int i = 0; i < connections; ++i) {
            asio::co_spawn(io, run(from, behaviour), asio::detached);
        }
    }

    void runFor(std::chrono::seconds duration) {
        deadline = Clock::now() + duration;
        io.run_until(deadline);
        io.stop();
    }

    asio::awaitable<void> pause(std::chrono::milliseconds duration) {
        asio::steady_timer timer(co_await asio::this_coro::executor, duration);
        co_await timer.async_wait(asio::use_awaitable);
    }

    asio::io_context io;

private:
    asio::awaitable<void> run(const char* from, Behaviour behaviour) {
        while (Clock::now() < deadline) {
            try {
                tcp::socket socket(io);
                socket.open(tcp::v4());
                socket.bind({asio::ip::make_address(from), 0});
                co_await socket.async_connect(service, asio::use_awaitable);
                co_await behaviour(socket);
            } catch (const boost::system::system_error&) {
            }
            co_await pause(10ms);
        }
    }

    tcp::endpoint service;
    Clock::time_point deadline{};
};

// Keeps reading whatever the service answers until it closes.
asio::awaitable<void> drain(tcp::socket& socket) {
    char discard[4096];
    for (;;) {
        co_await socket.async_read_some(asio::buffer(discard), asio::use_awaitable);
    }
}

// Normal event reports on one kept-alive connection, one after another, timed.
std::vector<double> timeReports(int port, std::chrono::seconds duration, std::atomic<bool>& failed) {
    asio::io_context io;
    tcp::socket socket(io);
    socket.connect({asio::ip::make_address("127.0.0.1"), static_cast<unsigned short>(port)});
    boost::beast::flat_buffer buffer;
    std::vector<double> milliseconds;
    const auto end = Clock::now() + duration;
    for (int i = 0; Clock::now() < end; ++i) {
        const std::string request =
            post("/api/time/clock-in",
                 R"({"employeeId":"bench","jobId":"bench","clockIn":"2024-03-05T09:00:00Z"})",
                 "Idempotency-Key: timed-" + std::to_string(i) + "\r\n");
        const auto start = Clock::now();
        http::response<http::string_body> answer;
        boost::system::error_code ec;
        asio::write(socket, asio::buffer(request), ec);
        if (!ec) {
            http::read(socket, buffer, answer, ec);
        }
        if (ec || answer.result_int() != 201) {
            failed = true;
            socket = tcp::socket(io);
            socket.connect({asio::ip::make_address("127.0.0.1"), static_cast<unsigned short>(port)});
            continue;
        }
        milliseconds.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        std::this_thread::sleep_for(10ms);
    }
    return milliseconds;
}

double percentile(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[static_cast<std::size_t>(fraction * (values.size() - 1))];
}

void starve(const ServerProcess& server, std::chrono::seconds duration) {
    Attack attack(server.port);
    // Header bytes one at a time, never finishing: each is cut off at the header deadline.
    attack.add(1000, "127.0.0.2", [&](tcp::socket& socket) -> asio::awaitable<void> {
        const std::string header = "GET /api/version HTTP/1.1\r\nHost: x\r\n" + std::string(4096, 'X');
        for (const char& c : header) {
            co_await asio::async_write(socket, asio::buffer(&c, 1), asio::use_awaitable);
            co_await attack.pause(500ms);
        }
    });
    // One request, then silence until the service closes the connection.
    attack.add(200, "127.0.0.3", [&](tcp::socket& socket) -> asio::awaitable<void> {
        co_await asio::async_write(
            socket, asio::buffer(std::string_view("GET /api/version HTTP/1.1\r\n\r\n")), asio::use_awaitable);
        co_await drain(socket);
    });
    // Password guesses for random IDs, each sent again as soon as it is answered.
    attack.add(64, "127.0.0.4", [&](tcp::socket& socket) -> asio::awaitable<void> {
        std::mt19937 rng(std::random_device{}());
        boost::beast::flat_buffer buffer;
        for (;;) {
            const std::string guess =
                post("/api/users/verify",
                     R"({"employeeId":"id)" + std::to_string(rng()) + R"(","jobId":"x","password":"guess"})");
            co_await asio::async_write(socket, asio::buffer(guess), asio::use_awaitable);
            http::response<http::string_body> answer;
            co_await http::async_read(socket, buffer, answer, asio::use_awaitable);
        }
    });
    std::atomic<bool> failed = false;
    std::vector<double> latencies;
    std::thread timer([&] {
        std::this_thread::sleep_for(3s);
        latencies = timeReports(server.port, duration - 4s, failed);
    });
    attack.runFor(duration);
    timer.join();
    std::printf("event POST under attack (1,000 slow headers, 200 idle, 64 guessers): %zu reports, median "
                "%.1f ms, p99 %.1f ms, max %.1f ms%s\n",
                latencies.size(), percentile(latencies, 0.5), percentile(latencies, 0.99),
                percentile(latencies, 1), failed ? " (some failed)" : "");
    std::printf("service RSS under it: %.1f MiB (argon2id takes 64 MiB per check running)\n",
                server.memory("VmRSS"));
}

void flood(const ServerProcess& server, std::chrono::seconds duration) {
    // The password checks before take 64 MiB each while they run, by design; this peak is
    // the floods' own, from once the checks still queued have ended.
    for (auto end = Clock::now() + 15s; server.memory("VmRSS") > 32 && Clock::now() < end;) {
        std::this_thread::sleep_for(100ms);
    }
    server.resetPeak();
    std::printf("service RSS before the floods: %.1f MiB\n", server.memory("VmRSS"));
    Attack attack(server.port);
    const std::string nearlyFullHeader =
        "GET /api/version HTTP/1.1\r\nX-Fill: " + std::string(16 * 1024 - 100, 'h');
    // Headers just under the size limit, then silence: each is held until the header deadline.
    for (const char* from : {"127.0.0.5", "127.0.0.6", "127.0.0.7"}) {
        attack.add(1000, from, [&](tcp::socket& socket) -> asio::awaitable<void> {
            co_await asio::async_write(socket, asio::buffer(nearlyFullHeader), asio::use_awaitable);
            co_await drain(socket);
        });
    }
    // Bodies just under the size limit, all but complete.
    attack.add(1000, "127.0.0.8", [&](tcp::socket& socket) -> asio::awaitable<void> {
        const std::string body = "POST /api/time/clock-in HTTP/1.1\r\nContent-Type: application/json\r\n"
                                 "Content-Length: 65536\r\n\r\n" +
                                 std::string(65000, ' ');
        co_await asio::async_write(socket, asio::buffer(body), asio::use_awaitable);
        co_await drain(socket);
    });
    // Endless chunked bodies, endless header fields, and compressed bodies, as fast as they go.
    const std::string chunk = "4000\r\n" + std::string(0x4000, 'c') + "\r\n";
    const std::string fields = [] {
        std::string text;
        for (int i = 0; i < 1000; ++i) {
            text += "X-" + std::to_string(i) + ": y\r\n";
        }
        return text;
    }();
    attack.add(20, "127.0.0.9", [&](tcp::socket& socket) -> asio::awaitable<void> {
        co_await asio::async_write(socket,
                                   asio::buffer(std::string_view("POST /api/time/clock-in HTTP/1.1\r\n"
                                                                 "Transfer-Encoding: chunked\r\n\r\n")),
                                   asio::use_awaitable);
        for (;;) {
            co_await asio::async_write(socket, asio::buffer(chunk), asio::use_awaitable);
        }
    });
    attack.add(20, "127.0.0.9", [&](tcp::socket& socket) -> asio::awaitable<void> {
        co_await asio::async_write(socket, asio::buffer(std::string_view("GET /api/version HTTP/1.1\r\n")),
                                   asio::use_awaitable);
        for (;;) {
            co_await asio::async_write(socket, asio::buffer(fields), asio::use_awaitable);
        }
    });
    attack.add(20, "127.0.0.9", [&](tcp::socket& socket) -> asio::awaitable<void> {
        const std::string gzip =
            post("/api/time/clock-in", std::string(60000, 'z'), "Content-Encoding: gzip\r\n");
        for (;;) {
            co_await asio::async_write(socket, asio::buffer(gzip), asio::use_awaitable);
        }
    });
    attack.runFor(duration);
    std::printf("service peak RSS after header and body floods (3,000 full headers, 1,000 full bodies, "
                "chunked, field and compressed floods): %.1f MiB\n",
                server.memory("VmHWM"));
}

} // namespace

int main(int argc, char** argv) {
    const std::string binary = argc > 1 ? argv[1] : CORLUNE_SERVER_BINARY;
    const auto seconds = std::chrono::seconds(argc > 2 ? std::stoi(argv[2]) : 20);
    rlimit files{};
    getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
    std::signal(SIGPIPE, SIG_IGN);

    const auto dir = std::filesystem::temp_directory_path() / ("corlune-attack-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    {
        ServerProcess server(binary, dir);
        std::printf("service RSS at rest: %.1f MiB\n", server.memory("VmRSS"));
        starve(server, seconds);
        flood(server, 8s);
    }
    std::filesystem::remove_all(dir);
}
