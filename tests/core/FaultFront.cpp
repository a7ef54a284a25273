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

void sendAll(int fd, const std::string& bytes) {
    for (std::size_t sent = 0; sent < bytes.size();) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return;
        sent += static_cast<std::size_t>(n);
    }
}

/// An answer that sends \a body and announces \a announced bytes of it, all by default. Nothing
/// reads the reason phrase.
std::string answerText(int status, const std::string& type, const std::string& body,
                       std::size_t announced = std::string::npos) {
    return "HTTP/1.1 " + std::to_string(status) + " Front\r\nContent-Type: " + type +
           "\r\nContent-Length: " + std::to_string(announced == std::string::npos ? body.size() : announced) +
           "\r\nConnection: close\r\n\r\n" + body;
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
    listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listener, 64) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("the front cannot listen");
    listening = ntohs(address.sin_port);
    acceptor = std::thread([this] {
        // Ends when the destructor shuts the listener down.
        for (int connection; (connection = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;) {
            const std::lock_guard lock(mutex);
            connections.insert(connection);
            workers.emplace_back([this, connection] {
                if (std::optional<httplib::Request> request = readRequest(connection))
                    answer(*request, connection);
                const std::lock_guard done(mutex);
                connections.erase(connection);
                ::close(connection);
            });
        }
    });
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
    acceptor.join();
    for (std::thread& worker : workers)
        worker.join();
    ::close(listener);
}

std::vector<FaultFront::Request> FaultFront::requests() const {
    const std::lock_guard lock(mutex);
    return log;
}

void FaultFront::answer(httplib::Request& forwarded, int connection) {
    Request request{forwarded.method, forwarded.path, forwarded.get_header_value("Idempotency-Key"),
                    forwarded.body};
    {
        const std::lock_guard lock(mutex);
        Attempts& seen = attempts[request.method + ' ' + request.target + ' ' + request.key];
        const auto now = std::chrono::steady_clock::now();
        if (seen.count == 0 || now - seen.last > std::chrono::seconds(1))
            ++seen.count;
        seen.last = now;
        request.attempt = seen.count;
        log.push_back(request);
    }
    // What a server that dies while it answers leaves behind.
    const std::string hangUp = "HTTP/1.1 ";
    const Fault fault = plan(request);
    if (fault == Fault::ServerError)
        return sendAll(connection, answerText(500, "application/json", R"({"error":"the front's"})"));
    if (fault == Fault::HtmlPage)
        return sendAll(connection,
                       answerText(502, "text/html", "<html><body><h1>Bad Gateway</h1></body></html>"));
    if (fault == Fault::HangUp)
        return sendAll(connection, hangUp);

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
        return sendAll(connection, hangUp);
    if (fault == Fault::CutOffAfterStore)
        return sendAll(connection,
                       answerText(result->status, type, body.substr(0, body.size() / 2), body.size()));
    if (fault == Fault::LateAfterStore) {
        std::unique_lock lock(mutex);
        if (stopped.wait_for(lock, lateBy, [this] { return stopping; }))
            return;
    }
    sendAll(connection, answerText(result->status, type, body));
}
