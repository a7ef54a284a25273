#include "NetlinkReachability.h"

#include <cerrno>
#include <cstring>

#include <arpa/inet.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace {
// The kernel answers a local query in microseconds; this only bounds a wedged socket.
constexpr int answerTimeoutMs = 500;
constexpr std::size_t answerBufferBytes = 32 * 1024;

/// A netlink request under construction: the header, its fixed part, then attributes.
template <typename Fixed>
struct Request {
    alignas(nlmsghdr) char bytes[NLMSG_SPACE(sizeof(Fixed)) + 64] = {};

    explicit Request(unsigned short type) {
        header().nlmsg_len = NLMSG_LENGTH(sizeof(Fixed));
        header().nlmsg_type = type;
        header().nlmsg_flags = NLM_F_REQUEST;
    }
    nlmsghdr& header() { return *reinterpret_cast<nlmsghdr*>(bytes); }
    Fixed& fixed() { return *static_cast<Fixed*>(NLMSG_DATA(&header())); }

    void append(unsigned short type, const void* data, std::size_t length) {
        const std::size_t offset = NLMSG_ALIGN(header().nlmsg_len);
        Q_ASSERT(offset + RTA_SPACE(length) <= sizeof bytes);
        auto* attribute = reinterpret_cast<rtattr*>(bytes + offset);
        attribute->rta_type = type;
        attribute->rta_len = static_cast<unsigned short>(RTA_LENGTH(length));
        std::memcpy(bytes + offset + RTA_LENGTH(0), data, length);
        header().nlmsg_len = static_cast<__u32>(offset + RTA_ALIGN(attribute->rta_len));
    }
};

} // namespace

NetlinkReachability::NetlinkReachability()
    : buffer(std::make_unique_for_overwrite<char[]>(answerBufferBytes)) {
    socketFd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (socketFd < 0)
        return;
    const timeval timeout{0, answerTimeoutMs * 1000};
    ::setsockopt(socketFd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    if (::bind(socketFd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        ::close(socketFd);
        socketFd = -1;
    }
}

NetlinkReachability::~NetlinkReachability() {
    if (socketFd >= 0)
        ::close(socketFd);
}

bool NetlinkReachability::isReachable(const QHostAddress& address) {
    if (socketFd < 0)
        return true;
    const std::optional<int> device = routeDevice(address);
    return device && deviceIsUp(*device);
}

std::optional<int> NetlinkReachability::routeDevice(const QHostAddress& address) {
    Request<rtmsg> request(RTM_GETROUTE);
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4); // also unwraps ::ffff:a.b.c.d
    if (isV4) {
        const quint32 networkOrder = htonl(v4);
        request.fixed().rtm_family = AF_INET;
        request.fixed().rtm_dst_len = 32;
        request.append(RTA_DST, &networkOrder, sizeof networkOrder);
    } else if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        const Q_IPV6ADDR v6 = address.toIPv6Address();
        request.fixed().rtm_family = AF_INET6;
        request.fixed().rtm_dst_len = 128;
        request.append(RTA_DST, v6.c, sizeof v6.c);
        // A link-local address names its device, by number or by name.
        bool numeric = false;
        int scope = address.scopeId().toInt(&numeric);
        if (!numeric && !address.scopeId().isEmpty())
            scope = static_cast<int>(::if_nametoindex(address.scopeId().toLocal8Bit().constData()));
        if (scope > 0)
            request.append(RTA_OIF, &scope, sizeof scope);
    } else {
        return std::nullopt;
    }

    std::optional<int> device;
    bool usable = false;
    const bool answered = exchange(request.header(), [&](const nlmsghdr& message) {
        if (message.nlmsg_type != RTM_NEWROUTE)
            return;
        const auto* route = static_cast<const rtmsg*>(NLMSG_DATA(&message));
        usable = route->rtm_type == RTN_UNICAST || route->rtm_type == RTN_LOCAL;
        int length = static_cast<int>(RTM_PAYLOAD(&message));
        for (auto* attribute = RTM_RTA(route); RTA_OK(attribute, length);
             attribute = RTA_NEXT(attribute, length)) {
            if (attribute->rta_type == RTA_OIF && RTA_PAYLOAD(attribute) >= sizeof(int))
                device = *static_cast<const int*>(RTA_DATA(attribute));
        }
    });
    if (!answered || !usable)
        return std::nullopt;
    return device;
}

bool NetlinkReachability::deviceIsUp(int deviceIndex) {
    Request<ifinfomsg> request(RTM_GETLINK);
    request.fixed().ifi_family = AF_UNSPEC;
    request.fixed().ifi_index = deviceIndex;

    bool up = false;
    const bool answered = exchange(request.header(), [&](const nlmsghdr& message) {
        if (message.nlmsg_type != RTM_NEWLINK)
            return;
        const auto* link = static_cast<const ifinfomsg*>(NLMSG_DATA(&message));
        // IFF_RUNNING is the kernel's "operationally up": administratively up and with carrier.
        up = (link->ifi_flags & IFF_UP) && (link->ifi_flags & IFF_RUNNING);
    });
    return answered && up;
}

bool NetlinkReachability::exchange(nlmsghdr& request, const std::function<void(const nlmsghdr&)>& onMessage) {
    request.nlmsg_seq = ++sequence;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    ssize_t sent;
    do {
        sent = ::sendto(socketFd, &request, request.nlmsg_len, 0, reinterpret_cast<sockaddr*>(&kernel),
                        sizeof kernel);
    } while (sent < 0 && errno == EINTR);
    if (sent != static_cast<ssize_t>(request.nlmsg_len))
        return false;

    for (;;) {
        const ssize_t received = ::recv(socketFd, buffer.get(), answerBufferBytes, 0);
        if (received < 0 && errno == EINTR)
            continue;
        if (received <= 0)
            return false;
        int remaining = static_cast<int>(received);
        for (auto* message = reinterpret_cast<const nlmsghdr*>(buffer.get()); NLMSG_OK(message, remaining);
             message = NLMSG_NEXT(message, remaining)) {
            // An answer to an earlier request that timed out is skipped.
            if (message->nlmsg_seq != request.nlmsg_seq)
                continue;
            if (message->nlmsg_type == NLMSG_ERROR) {
                const auto* error = static_cast<const nlmsgerr*>(NLMSG_DATA(message));
                return error->error == 0;
            }
            if (message->nlmsg_type == NLMSG_DONE)
                return true;
            onMessage(*message);
            // A plain (non-dump) request is answered by exactly one message.
            if (!(message->nlmsg_flags & NLM_F_MULTI))
                return true;
        }
    }
}
