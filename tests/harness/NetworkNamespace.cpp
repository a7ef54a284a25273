#include "NetworkNamespace.h"

#include <cerrno>
#include <cstring>
#include <exception>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

std::system_error lastError(const char* what) {
    return {errno, std::generic_category(), what};
}

void bringLoopbackUp() {
    const int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (s < 0)
        throw lastError("socket");
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    int rc = ::ioctl(s, SIOCGIFFLAGS, &request);
    if (rc == 0) {
        request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP);
        rc = ::ioctl(s, SIOCSIFFLAGS, &request);
    }
    const int saved = errno;
    ::close(s);
    if (rc != 0) {
        errno = saved;
        throw lastError("bringing the loopback device up");
    }
}

/// Runs \a work on a new thread and hands back what it threw.
void onOwnThread(const std::function<void()>& work) {
    std::exception_ptr failure;
    std::thread thread([&] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
    });
    thread.join();
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace

NetworkNamespace::NetworkNamespace() {
    // unshare() moves only the calling thread, so a thread of its own makes the namespace and
    // leaves this one where it was.
    onOwnThread([this] {
        if (::unshare(CLONE_NEWNET) != 0)
            throw lastError("unshare(CLONE_NEWNET)");
        fd = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            throw lastError("opening the new network namespace");
        bringLoopbackUp();
    });
}

NetworkNamespace::~NetworkNamespace() {
    if (fd >= 0)
        ::close(fd);
}

void NetworkNamespace::runInside(const std::function<void()>& work) const {
    onOwnThread([&] {
        enterThread();
        work();
    });
}

bool NetworkNamespace::enterFromChild() const noexcept {
    return ::setns(fd, CLONE_NEWNET) == 0;
}

void NetworkNamespace::enterThread() const {
    if (::setns(fd, CLONE_NEWNET) != 0)
        throw lastError("setns(CLONE_NEWNET)");
}
