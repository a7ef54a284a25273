#pragma once

#include "Reachability.h"

#include <QtGlobal>

#include <functional>
#include <memory>
#include <optional>

struct nlmsghdr;

/// Linux: asks the kernel, over a route netlink socket, the route it would use for an address
/// (as "ip route get" does) and then the state of that route's device. Reachable means a
/// unicast or local route exists and its device is up with carrier; the kernel keeps routes
/// over a device without carrier ("linkdown"), so the route alone does not tell. Nothing is
/// sent to the network. Unavailable when no netlink socket can be opened.
class NetlinkReachability final : public Reachability {
public:
    NetlinkReachability();
    ~NetlinkReachability() override;
    NetlinkReachability(const NetlinkReachability&) = delete;
    NetlinkReachability& operator=(const NetlinkReachability&) = delete;

    bool isAvailable() const override { return socketFd >= 0; }
    bool isReachable(const QHostAddress& address) override;

private:
    /// The output device of the route to \a address; nothing when there is no usable route.
    std::optional<int> routeDevice(const QHostAddress& address);
    bool deviceIsUp(int deviceIndex);
    /// Sends one request and hands every answer of it to \a onMessage; false on a netlink
    /// error answer (such as "network unreachable"), a timeout or a socket failure.
    bool exchange(nlmsghdr& request, const std::function<void(const nlmsghdr&)>& onMessage);

    int socketFd = -1;
    quint32 sequence = 0;
    /// Left uninitialised: only the pages an answer is written to become resident. operator new
    /// aligns it for nlmsghdr.
    std::unique_ptr<char[]> buffer;
};
