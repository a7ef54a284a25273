#include "FaultFront.h"

#include "NetworkNamespace.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <future>
#include <stdexcept>
#include <system_error>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr std::size_t maxHeadBytes = 64 * 1024;
constexpr std::size_t hugeBodyBytes = 20 * 1024 * 1024;

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

std::string trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    const auto last = text.find_last_not_of(" \t\r");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

bool sendAll(int fd, const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

int statusOf(const std::string& answer) {
    // "HTTP/1.1 201 Created"
    if (answer.size() < 12 || answer.compare(0, 5, "HTTP/") != 0)
        return 0;
    const auto space = answer.find(' ');
    return space == std::string::npos ? 0 : std::atoi(answer.c_str() + space + 1);
}

std::string answerHead(int status, const char* reason, const char* contentType, std::size_t length) {
    return "HTTP/1.1 " + std::to_string(status) + ' ' + reason + "\r\nContent-Type: " + contentType +
           "\r\nContent-Length: " + std::to_string(length) + "\r\nConnection: close\r\n\r\n";
}

std::string canned(int status, const char* reason, const char* contentType, const std::string& body) {
    return answerHead(status, reason, contentType, body.size()) + body;
}

} // namespace

const char* nameOf(FaultFront::Fault fault) {
    switch (fault) {
    case FaultFront::Fault::Pass:
        return "pass";
    case FaultFront::Fault::ServerError:
        return "500";
    case FaultFront::Fault::GatewayPage:
        return "502 page";
    case FaultFront::Fault::Hangup:
        return "hang-up";
    case FaultFront::Fault::HangupAfterStore:
        return "hang-up after store";
    case FaultFront::Fault::TruncatedAfterStore:
        return "truncated after store";
    case FaultFront::Fault::HugeAfterStore:
        return "huge after store";
    case FaultFront::Fault::NonJsonAfterStore:
        return "not JSON after store";
    case FaultFront::Fault::LateAfterStore:
        return "late after store";
    }
    return "?";
}

FaultFront::FaultFront(const NetworkNamespace& ns, int listenPort, int backendPort, Plan plan)
    : backendPort(backendPort)
    , plan(std::move(plan)) {
    if (::pipe2(wakePipe, O_CLOEXEC) != 0)
        throw std::system_error(errno, std::generic_category(), "pipe2");
    std::promise<int> listening;
    std::future<int> listener = listening.get_future();
    // The accepting thread joins the namespace first; every thread it starts is in it too.
    acceptor = std::thread([this, &ns, &listening, listenPort] {
        int fd = -1;
        try {
            ns.enterThread();
            fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            const int yes = 1;
            ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_port = htons(static_cast<uint16_t>(listenPort));
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
                ::listen(fd, 64) != 0)
                throw std::system_error(errno, std::generic_category(), "the front cannot listen");
            listening.set_value(fd);
        } catch (...) {
            if (fd >= 0)
                ::close(fd);
            listening.set_exception(std::current_exception());
            return;
        }
        acceptLoop(fd);
        ::close(fd);
    });
    try {
        listener.get();
    } catch (...) {
        acceptor.join();
        ::close(wakePipe[0]);
        ::close(wakePipe[1]);
        throw;
    }
}

FaultFront::~FaultFront() {
    {
        const std::lock_guard lock(mutex);
        stopping = true;
        for (const int fd : openConnections)
            ::shutdown(fd, SHUT_RDWR);
    }
    changed.notify_all();
    // Never read: it stays readable and so wakes every wait on it.
    [[maybe_unused]] const ssize_t n = ::write(wakePipe[1], "x", 1);
    acceptor.join();
    for (std::thread& worker : workers)
        worker.join();
    ::close(wakePipe[0]);
    ::close(wakePipe[1]);
}

void FaultFront::acceptLoop(int listener) {
    for (;;) {
        pollfd fds[2] = {{listener, POLLIN, 0}, {wakePipe[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR)
            return;
        if (fds[1].revents != 0)
            return;
        if (fds[0].revents == 0)
            continue;
        const int connection = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0)
            continue;
        const std::lock_guard lock(mutex);
        if (stopping) {
            ::close(connection);
            return;
        }
        openConnections.insert(connection);
        workers.emplace_back([this, connection] { serve(connection); });
    }
}

std::size_t FaultFront::note(Request request, Fault fault) {
    const std::lock_guard lock(mutex);
    log.push_back({std::move(request), fault, 0, false});
    changed.notify_all();
    return log.size() - 1;
}

void FaultFront::finish(std::size_t index, int serviceStatus) {
    const std::lock_guard lock(mutex);
    log[index].serviceStatus = serviceStatus;
    log[index].done = true;
    changed.notify_all();
}

bool FaultFront::holdFor(std::chrono::milliseconds delay) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, delay, [this] { return stopping; });
}

std::vector<FaultFront::Record> FaultFront::records() const {
    const std::lock_guard lock(mutex);
    return log;
}

int FaultFront::count(const std::string& method, const std::string& path) const {
    const std::lock_guard lock(mutex);
    return static_cast<int>(std::count_if(log.begin(), log.end(), [&](const Record& record) {
        return record.request.method == method && record.request.path == path;
    }));
}

bool FaultFront::waitFor(std::chrono::milliseconds timeout,
                         const std::function<bool(const std::vector<Record>&)>& condition) const {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, timeout, [&] { return condition(log); });
}

void FaultFront::serve(int connection) {
    // Reads until \a enough holds or the peer or the front stops; whether enough held.
    std::string received;
    const auto readUntil = [&](const std::function<bool()>& enough) {
        char buffer[16 * 1024];
        while (!enough()) {
            pollfd fds[2] = {{connection, POLLIN, 0}, {wakePipe[0], POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0 && errno != EINTR)
                return false;
            if (fds[1].revents != 0)
                return false;
            const ssize_t n = ::recv(connection, buffer, sizeof buffer, 0);
            if (n <= 0)
                return false;
            received.append(buffer, static_cast<std::size_t>(n));
        }
        return true;
    };
    const auto done = [&] {
        const std::lock_guard lock(mutex);
        openConnections.erase(connection);
        ::close(connection);
    };

    std::size_t headEnd = std::string::npos;
    if (!readUntil([&] {
            headEnd = received.find("\r\n\r\n");
            return headEnd != std::string::npos || received.size() > maxHeadBytes;
        }) ||
        headEnd == std::string::npos) {
        done();
        return;
    }
    Request request;
    std::size_t contentLength = 0;
    std::string forwardedHead;
    {
        const std::string head = received.substr(0, headEnd);
        std::size_t lineStart = 0;
        bool first = true;
        while (lineStart <= head.size()) {
            auto lineEnd = head.find("\r\n", lineStart);
            if (lineEnd == std::string::npos)
                lineEnd = head.size();
            const std::string line = head.substr(lineStart, lineEnd - lineStart);
            lineStart = lineEnd + 2;
            if (first) {
                first = false;
                const auto space = line.find(' ');
                const auto second = line.find(' ', space + 1);
                request.method = line.substr(0, space);
                request.path = line.substr(space + 1, second - space - 1);
                forwardedHead += line + "\r\n";
                continue;
            }
            const auto colon = line.find(':');
            if (colon == std::string::npos)
                continue;
            const std::string name = lower(line.substr(0, colon));
            const std::string value = trim(line.substr(colon + 1));
            if (name == "content-length")
                contentLength = static_cast<std::size_t>(std::stoull(value));
            if (name == "idempotency-key")
                request.idempotencyKey = value;
            // The service is asked for a plain answer on a connection of its own.
            if (name != "connection" && name != "keep-alive" && name != "accept-encoding")
                forwardedHead += line + "\r\n";
        }
        forwardedHead += "Connection: close\r\n\r\n";
    }
    const std::size_t bodyStart = headEnd + 4;
    if (!readUntil([&] { return received.size() >= bodyStart + contentLength; })) {
        done();
        return;
    }
    const std::string body = received.substr(bodyStart, contentLength);

    {
        const std::lock_guard lock(mutex);
        request.attempt = ++attempts[request.method + ' ' + request.path + ' ' + request.idempotencyKey];
        std::set<std::string>& keys = keysByPath[request.method + ' ' + request.path];
        keys.insert(request.idempotencyKey);
        request.ordinal = static_cast<int>(keys.size());
    }
    const Fault fault = plan(request);
    const std::size_t index = note(request, fault);

    std::string answer;
    int serviceStatus = 0;
    const bool forwards =
        fault != Fault::ServerError && fault != Fault::GatewayPage && fault != Fault::Hangup;
    if (forwards) {
        answer = forward(forwardedHead, body);
        serviceStatus = statusOf(answer);
    }
    switch (fault) {
    case Fault::Pass:
        sendAll(connection, answer);
        break;
    case Fault::ServerError:
        sendAll(connection, canned(500, "Internal Server Error", "application/json",
                                   R"({"error":"injected by the test's front"})"));
        break;
    case Fault::GatewayPage:
        sendAll(connection, canned(502, "Bad Gateway", "text/html",
                                   "<html><head><title>502 Bad Gateway</title></head>"
                                   "<body><h1>502 Bad Gateway</h1></body></html>"));
        break;
    case Fault::Hangup:
    case Fault::HangupAfterStore:
        break;
    case Fault::TruncatedAfterStore:
        sendAll(connection,
                answerHead(serviceStatus, "Created", "application/json", 64) + R"({"ok":true,"ev)");
        break;
    case Fault::HugeAfterStore: {
        if (!sendAll(connection, answerHead(serviceStatus, "OK", "application/json", hugeBodyBytes)))
            break;
        const std::string chunk(64 * 1024, ' ');
        // The client gives up part-way; the write that finds it gone ends this.
        for (std::size_t sent = 0; sent < hugeBodyBytes && sendAll(connection, chunk); sent += chunk.size()) {
        }
        break;
    }
    case Fault::NonJsonAfterStore:
        sendAll(connection, canned(serviceStatus, "OK", "application/json", "stored, thank you"));
        break;
    case Fault::LateAfterStore:
        if (!holdFor(lateBy))
            sendAll(connection, answer);
        break;
    }
    done();
    finish(index, serviceStatus);
}

std::string FaultFront::forward(const std::string& head, const std::string& body) const {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return {};
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(backendPort));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string answer;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        sendAll(fd, head + body)) {
        char buffer[16 * 1024];
        for (;;) {
            pollfd fds[2] = {{fd, POLLIN, 0}, {wakePipe[0], POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0 && errno != EINTR)
                break;
            if (fds[1].revents != 0)
                break;
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            answer.append(buffer, static_cast<std::size_t>(n));
        }
    }
    ::close(fd);
    return answer;
}
