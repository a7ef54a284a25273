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

std::string lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

/// Headers that describe one connection or one encoding of the body, which the front makes anew.
bool ownedByTheFront(const std::string& name) {
    const std::string n = lower(name);
    return n == "host" || n == "content-length" || n == "connection" || n == "keep-alive" ||
           n == "transfer-encoding" || n == "content-encoding" || n == "accept-encoding";
}

/// An answer whose head announces \a announced bytes of body, followed by \a body.
std::string answerText(int status, const httplib::Headers& headers, const std::string& body,
                       std::size_t announced) {
    // Nothing reads the reason phrase.
    std::string text = "HTTP/1.1 " + std::to_string(status) + " Front\r\n";
    for (const auto& [name, value] : headers) {
        if (!ownedByTheFront(name))
            text += name + ": " + value + "\r\n";
    }
    return text + "Content-Length: " + std::to_string(announced) + "\r\nConnection: close\r\n\r\n" + body;
}

std::string answerText(int status, const char* type, const std::string& body) {
    return answerText(status, {{"Content-Type", type}}, body, body.size());
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
    std::istringstream lines(received.substr(0, headEnd));
    std::string line;
    std::getline(lines, line);
    std::istringstream(line) >> request.method >> request.path;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const std::size_t colon = line.find(':');
        if (colon != std::string::npos)
            request.headers.emplace(
                line.substr(0, colon),
                line.substr(std::min(line.find_first_not_of(' ', colon + 1), line.size())));
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
            workers.emplace_back([this, connection] { serve(connection); });
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

void FaultFront::serve(int connection) {
    if (std::optional<httplib::Request> request = readRequest(connection))
        answer(*request, connection);
    const std::lock_guard lock(mutex);
    connections.erase(connection);
    ::close(connection);
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
    const Fault fault = plan(request);
    if (fault == Fault::ServerError) {
        sendAll(connection, answerText(500, "application/json", R"({"error":"the front's own"})"));
        return;
    }
    if (fault == Fault::HtmlPage) {
        sendAll(connection,
                answerText(502, "text/html", "<html><body><h1>502 Bad Gateway</h1></body></html>"));
        return;
    }
    // Begun, so that Qt does not send the request again by itself as it does over a connection
    // that closes before any answer.
    const std::string hangUp = "HTTP/1.1 ";
    if (fault == Fault::HangUp) {
        sendAll(connection, hangUp);
        return;
    }

    httplib::Client service("127.0.0.1", servicePort);
    service.set_url_encode(false);
    std::erase_if(forwarded.headers, [](const auto& header) { return ownedByTheFront(header.first); });
    const httplib::Result result = service.send(forwarded);
    if (!result)
        return;
    const httplib::Response& answer = *result;
    switch (fault) {
    case Fault::CutOffAfterStore:
        sendAll(connection, answerText(answer.status, answer.headers,
                                       answer.body.substr(0, answer.body.size() / 2), answer.body.size()));
        break;
    case Fault::LateAfterStore: {
        std::unique_lock lock(mutex);
        if (stopped.wait_for(lock, lateBy, [this] { return stopping; }))
            break;
        lock.unlock();
        sendAll(connection, answerText(answer.status, answer.headers, answer.body, answer.body.size()));
        break;
    }
    case Fault::Pass:
        sendAll(connection, answerText(answer.status, answer.headers, answer.body, answer.body.size()));
        break;
    default: // HangUpAfterStore
        sendAll(connection, hangUp);
        break;
    }
}
