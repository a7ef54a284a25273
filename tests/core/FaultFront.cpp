#include "FaultFront.h"

#include <httplib.h>

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

/// What the front answers of itself for \a fault; nothing for a fault that is no such answer.
std::optional<std::string> madeUp(FaultFront::Fault fault, const std::string& portal) {
    using Fault = FaultFront::Fault;
    const std::string json = "application/json";
    const std::string error = R"({"error":"the front's"})";
    const std::string page = "<html><body><h1>Welcome</h1></body></html>";
    switch (fault) {
    case Fault::ServerError:
        return answerText(500, json, error);
    case Fault::HtmlPage:
        return answerText(502, "text/html", page);
    case Fault::HtmlOk:
        return answerText(200, "text/html", page);
    case Fault::Refused:
        return answerText(400, json, error);
    case Fault::Unauthorized:
        return answerText(401, json, error, std::string::npos, "WWW-Authenticate: Bearer\r\n");
    case Fault::TooManyRequests:
        return answerText(429, json, error, std::string::npos, "Retry-After: 4\r\n");
    case Fault::Moved:
        return answerText(301, "text/html", page, std::string::npos, portal);
    case Fault::Found:
        return answerText(302, "text/html", page, std::string::npos, portal);
    case Fault::TemporaryRedirect:
        return answerText(307, "text/html", page, std::string::npos, portal);
    case Fault::PermanentRedirect:
        return answerText(308, "text/html", page, std::string::npos, portal);
    case Fault::HangUp:
        // What a server that dies while it answers leaves behind.
        return "HTTP/1.1 ";
    default:
        return std::nullopt;
    }
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

int FaultFront::listen(const char* address, int& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in bound{};
    bound.sin_family = AF_INET;
    ::inet_pton(AF_INET, address, &bound.sin_addr);
    socklen_t length = sizeof bound;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&bound), length) != 0 || ::listen(fd, 64) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length) != 0)
        throw std::runtime_error("the front cannot listen");
    port = ntohs(bound.sin_port);
    return fd;
}

void FaultFront::accept(int from, bool portal) {
    // Ends when the destructor shuts the listener down.
    for (int connection; (connection = ::accept4(from, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;) {
        const std::lock_guard lock(mutex);
        connections.insert(connection);
        workers.emplace_back([this, connection, portal] {
            if (std::optional<httplib::Request> request = readRequest(connection))
                answer(*request, connection, portal);
            const std::lock_guard done(mutex);
            connections.erase(connection);
            ::close(connection);
        });
    }
}

FaultFront::FaultFront(int servicePort, Plan plan, std::chrono::milliseconds lateBy)
    : servicePort(servicePort)
    , plan(std::move(plan))
    , lateBy(lateBy) {
    listener = listen("127.0.0.1", listening);
    portalListener = listen("127.0.0.2", portalPort);
    acceptor = std::thread([this] { accept(listener, false); });
    portalAcceptor = std::thread([this] { accept(portalListener, true); });
}

FaultFront::~FaultFront() {
    {
        const std::lock_guard lock(mutex);
        stopping = true;
        for (const int connection : connections)
            ::shutdown(connection, SHUT_RDWR);
    }
    stopped.notify_all();
    ::shutdown(listener, SHUT_RDWR);
    ::shutdown(portalListener, SHUT_RDWR);
    acceptor.join();
    portalAcceptor.join();
    for (std::thread& worker : workers)
        worker.join();
    ::close(listener);
    ::close(portalListener);
}

std::vector<FaultFront::Request> FaultFront::requests() const {
    const std::lock_guard lock(mutex);
    return log;
}

void FaultFront::answer(httplib::Request& forwarded, int connection, bool portal) {
    Request request{forwarded.method,
                    forwarded.path,
                    forwarded.get_header_value("Idempotency-Key"),
                    forwarded.get_header_value("Authorization"),
                    forwarded.body,
                    0,
                    portal,
                    std::chrono::steady_clock::now()};
    const std::string id = request.method + ' ' + request.target + ' ' + request.key;
    {
        const std::lock_guard lock(mutex);
        Attempts& seen = attempts[id];
        if (!seen.hungUp || request.at - seen.last > std::chrono::seconds(1))
            ++seen.count;
        seen.last = request.at;
        request.attempt = seen.count;
        log.push_back(request);
    }
    if (portal)
        return (void)sendAll(connection,
                             answerText(200, "application/json", R"({"ok":true,"token":"portal"})"));
    const Fault fault = plan(request);
    {
        const std::lock_guard lock(mutex);
        attempts[id].hungUp = fault == Fault::HangUp || fault == Fault::HangUpAfterStore;
    }
    const std::string portalAt =
        "Location: http://127.0.0.2:" + std::to_string(portalPort) + request.target + "\r\n";
    if (const std::optional<std::string> text = madeUp(fault, portalAt))
        return (void)sendAll(connection, *text);
    // Whether the front ends within \a wait.
    const auto endsWithin = [this](std::chrono::milliseconds wait) {
        std::unique_lock lock(mutex);
        return stopped.wait_for(lock, wait, [this] { return stopping; });
    };
    if (fault == Fault::Hang) {
        // Until the client gives up, or the front ends.
        for (char byte; ::recv(connection, &byte, 1, 0) > 0;) {
        }
        return;
    }
    if (fault == Fault::NeverEnding) {
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
    if (fault == Fault::HangUpAfterStore)
        return (void)sendAll(connection, *madeUp(Fault::HangUp, {}));
    if (fault == Fault::CutOffAfterStore)
        return (void)sendAll(connection,
                             answerText(result->status, type, body.substr(0, body.size() / 2), body.size()));
    if (fault == Fault::LateAfterStore && endsWithin(lateBy))
        return;
    sendAll(connection, answerText(result->status, type, body));
}
