#include "Commands.h"
#include "Service.h"

#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <pthread.h>
#include <sys/resource.h>

namespace corlune::server {

namespace {

void announce(const ServeOptions& o, int port) {
    if (!o.portFile.empty()) {
        // Written whole under another name first, so a reader never sees half a number.
        const std::string partial = o.portFile + ".partial";
        std::ofstream(partial) << port << '\n';
        std::rename(partial.c_str(), o.portFile.c_str());
    }
    const std::string host = o.host.find(':') == std::string::npos ? o.host : "[" + o.host + "]";
    std::printf("listening on %s:%d\n", host.c_str(), port);
    std::fflush(stdout);
}

// Each connection holds a descriptor; the usual soft limit of 1,024 is below the
// connection cap, and the hard limit is ours to take.
void raiseDescriptorLimit() {
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
    }
}

} // namespace

int runServe(const ServeOptions& o) {
    // Blocked before any thread starts, so every thread inherits the mask and only the wait
    // below receives them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN); // a client gone mid-answer is an error return, not a death
    raiseDescriptorLimit();

    std::unique_ptr<Service> service;
    try {
        service = std::make_unique<Service>(o);
    } catch (const std::exception& e) {
        std::cerr << "corlune-track-server: " << e.what() << '\n';
        return 1;
    }
    announce(o, service->port());
    int signal = 0;
    sigwait(&stopSignals, &signal);
    service.reset();
    std::cerr << "corlune-track-server: stopped\n";
    return 0;
}

} // namespace corlune::server
