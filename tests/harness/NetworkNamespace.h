#pragma once

#include <functional>

/// A network namespace of the test's own, with nothing in it but a loopback device, held by a
/// file descriptor and never named: it disappears with the last process or descriptor that
/// uses it, so a test that dies leaves nothing behind. Inside it 127.0.0.1 belongs to the test
/// alone. X11 and D-Bus reach their servers through filesystem sockets, which namespaces do not
/// separate.
/// Needs root (CAP_SYS_ADMIN).
class NetworkNamespace {
public:
    /// Throws std::system_error when the namespace cannot be made (not root).
    NetworkNamespace();
    ~NetworkNamespace();
    NetworkNamespace(const NetworkNamespace&) = delete;
    NetworkNamespace& operator=(const NetworkNamespace&) = delete;

    /// Runs \a work on a thread of its own that has joined the namespace; threads it starts
    /// are in the namespace too. Returns when \a work has returned.
    void runInside(const std::function<void()>& work) const;

    /// Joins the namespace; for a forked child before exec. Async-signal-safe.
    bool enterFromChild() const noexcept;

    /// Joins the calling thread to the namespace.
    void enterThread() const;

private:
    int fd = -1;
};
