#include "Reachability.h"

#include "UnavailableReachability.h"

#include <QtGlobal>

#if defined(Q_OS_LINUX)
#include "NetlinkReachability.h"
#endif

std::unique_ptr<Reachability> makeReachability() {
#if defined(Q_OS_LINUX)
    auto netlink = std::make_unique<NetlinkReachability>();
    if (netlink->isAvailable())
        return netlink;
#endif
    return std::make_unique<UnavailableReachability>();
}
