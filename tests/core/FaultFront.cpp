#include "FaultFront.h"

#include <httplib.h>

#include <optional>
#include <sstream>
#include <stdexcept>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr std::size_t maxRequestBytes = 1024 * 1024;

bool sendAll(int fd, const std::string& bytes) {
    for (std::size_t sent = 0; sent < bytes.size();) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

/// An answer that sends \a body and announces \a announced bytes of it, all by default. Nothing
/// reads the reason phrase.
std::string answerText(int status, const std::string& type, const std::string& body,
                       std::size_t announced = std::string::npos, const std::string& header = {}) {
    return "HTTP/1.1 " + std::to_string(status) + " Front\r\nContent-Type: " + type +
           "\r\nContent-Length: " + std::to_string(announced == std::string::npos ? body.size() : announced) +
           "\r\nConnection: close\r\n" + header + "\r\n" + body;
}

/// The front's own answer with \a status (see FaultFront::Fault).
std::string madeUp(int status, const std::string& portal) {
    const bool page = status == 200 || status == 502 || status / 100 == 3;
    const std::string header = status / 100 == 3 ? "Location: " + portal + "\r\n"
                               : status == 401   ? "WWW-Authenticate: Bearer\r\n"
                               : status == 429   ? "Retry-After: 4\r\n"
                                                 : "";
    return answerText(status, page ? "text/html" : "application/json",
                      page ? "<html><body>Welcome</body></html>" : R"({"error":"the front's"})",
                      std::string::npos, header);
}

/// Reads one request, head and body; nothing when the peer or the front ends first.
std::optional<httplib::Request> readRequest(int connection) {
    std::string received;
    const auto more = [&] {
        char buffer[16 * 1024];
        const ssize_t n = ::recv(connection, buffer, sizeof buffer, 0);
        if (n > 0)
            received.append(buffer, static_cast<std::size_t>(n));
        return n > 0 && received.size() <= maxRequestBytes;
    };
    std::size_t headEnd = 0;
    while ((headEnd = received.find("\r\n\r\n")) == std::string::npos) {
        if (!more())
            return std::nullopt;
    }
    httplib::Request request;
    std::istringstream lines(received.substr(0, headEnd + 2));
    std::string line;
    std::getline(lines, line);
    std::istringstream(line) >> request.method >> request.path;
    while (std::getline(lines, line)) {
        const std::size_t colon = line.find(':');
        const std::size_t value = line.find_first_not_of(' ', colon + 1);
        if (colon != std::string::npos && value < line.size())
            request.headers.emplace(line.substr(0, colon), line.substr(value, line.size() - value - 1));
    }
    const std::size_t whole = headEnd + 4 + std::stoul("0" + request.get_header_value("Content-Length"));
    while (received.size() < whole) {
        if (!more())
            return std::nullopt;
    }
    request.body = received.substr(headEnd + 4, whole - headEnd - 4);
    return request;
}

} // namespace

FaultFront::FaultFront(int servicePort, Plan plan, std::chrono::milliseconds lateBy)
    : servicePort(servicePort)
    , plan(std::move(plan))
    , lateBy(lateBy) {
    for (const int i : {0, 1}) {
        listeners[i] = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK + i);
        socklen_t length = sizeof address;
        if (listeners[i] < 0 || ::bind(listeners[i], reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::listen(listeners[i], 64) != 0 ||
            ::getsockname(listeners[i], reinterpret_cast<sockaddr*>(&address), &length) != 0)
            throw std::runtime_error("the front cannot listen");
        ports[i] = ntohs(address.sin_port);
        acceptors[i] = std::thread([this, i] {
            // Ends when the destructor shuts the listener down.
            for (int connection;
                 (connection = ::accept4(listeners[i], nullptr, nullptr, SOCK_CLOEXEC)) >= 0;) {
                const std::lock_guard lock(mutex);
                connections.insert(connection);
                workers.emplace_back([this, connection, i] {
                    if (std::optional<httplib::Request> request = readRequest(connection))
                        answer(*request, connection, i == 1);
                    const std::lock_guard done(mutex);
                    connections.erase(connection);
                    ::close(connection);
                });
            }
        });
    }
}

FaultFront::~FaultFront() {
    {
        const std::lock_guard lock(mutex);
        stopping = true;
        for (const int connection : connections)
            ::shutdown(connection, SHUT_RDWR);
    }
    stopped.notify_all();
    for (const int i : {0, 1}) {
        ::shutdown(listeners[i], SHUT_RDWR);
        acceptors[i].join();
        ::close(listeners[i]);
    }
    for (std::thread& worker : workers)
        worker.join();
}

void FaultFront::answer(httplib::Request& forwarded, int connection, bool portal) {
    Request request{.method = forwarded.method,
                    .target = forwarded.path,
                    .key = forwarded.get_header_value("Idempotency-Key"),
                    .authorization = forwarded.get_header_value("Authorization"),
                    .toPortal = portal,
                    .at = std::chrono::steady_clock::now()};
    const std::string id = request.method + ' ' + request.target + ' ' + request.key;
    {
        const std::lock_guard lock(mutex);
        auto& [count, last, hungUp] = attempts[id];
        if (!hungUp || request.at - last > std::chrono::seconds(1))
            ++count;
        last = request.at;
        request.attempt = count;
        log.push_back(request);
    }
    if (portal)
        return (void)sendAll(connection,
                             answerText(200, "application/json", R"({"ok":true,"token":"portal"})"));
    const int fault = plan(request);
    {
        const std::lock_guard lock(mutex);
        std::get<2>(attempts[id]) = fault == HangUp;
    }
    if (fault >= 100)
        return (void)sendAll(connection,
                             madeUp(fault, "http://127.0.0.2:" + std::to_string(ports[1]) + request.target));
    // What a server that dies while it answers leaves behind.
    if (fault == HangUp)
        return (void)sendAll(connection, "HTTP/1.1 ");
    if (fault == Hang) {
        // Until the client gives up, or the front ends.
        for (char byte; ::recv(connection, &byte, 1, 0) > 0;) {
        }
        return;
    }
    if (fault == NeverEnding) {
        bool more = sendAll(connection, "HTTP/1.1 200 Front\r\nContent-Type: application/json\r\n"
                                        "Content-Length: 1000000\r\n\r\n{");
        while (more && !endsWithin(std::chrono::milliseconds(100)))
            more = sendAll(connection, " ");
        return;
    }

    httplib::Client service("127.0.0.1", servicePort);
    service.set_url_encode(false);
    for (const char* name : {"Host", "Content-Length", "Connection", "Keep-Alive", "Accept-Encoding"})
        forwarded.headers.erase(name);
    const httplib::Result result = service.send(forwarded);
    if (!result)
        return;
    const std::string type = result->get_header_value("Content-Type");
    const std::string& body = result->body;
    if (fault == CutOffAfterStore)
        return (void)sendAll(connection,
                             answerText(result->status, type, body.substr(0, body.size() / 2), body.size()));
    if (fault == LateAfterStore && endsWithin(lateBy))
        return;
    sendAll(connection, answerText(result->status, type, body));
}
