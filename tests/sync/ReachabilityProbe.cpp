// Prints what the platform's reachability backend says about one address: "reachable",
// "unreachable" or "unavailable". Run inside a network namespace by the netns test; also handy
// by hand: reachability_probe 192.0.2.1
#include "ReachabilityFactory.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s ADDRESS\n", argv[0]);
        return 2;
    }
    const QHostAddress address(QString::fromLocal8Bit(argv[1]));
    if (address.isNull()) {
        std::fprintf(stderr, "not an address: %s\n", argv[1]);
        return 2;
    }
    const std::unique_ptr<Reachability> reachability = makeReachability();
    if (!reachability->isAvailable())
        std::puts("unavailable");
    else
        std::puts(reachability->isReachable(address) ? "reachable" : "unreachable");
    return 0;
}
