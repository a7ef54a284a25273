#include "ReachabilityFactory.h"

#include "UnavailableReachability.h"

#if CORLUNE_HAVE_NETLINK
#include "NetlinkReachability.h"
#endif

std::unique_ptr<Reachability> makeReachability() {
#if CORLUNE_HAVE_NETLINK
    auto netlink = std::make_unique<NetlinkReachability>();
    if (netlink->isAvailable())
        return netlink;
#endif
    return std::make_unique<UnavailableReachability>();
}
