#pragma once

#include "Options.h"

#include <memory>

namespace corlune::server {

/// The time-tracking service on one listening address, in this process: it opens the
/// database the options name and answers on threads of its own from construction until
/// stop(). `serve` runs one; tests run one on a free loopback port.
class Service {
public:
    /// Listening once it returns (port 0 picks a free port). Throws std::runtime_error with a
    /// message naming what failed: the database, the TLS files or the address.
    explicit Service(const ServeOptions& options);
    /// Stops as stop() does.
    ~Service();
    Service(const Service&) = delete;
    Service& operator=(const Service&) = delete;

    /// The port it listens on.
    int port() const;

    /// Ends the service as SIGTERM does: no new connections, requests already being handled
    /// are answered (for at most the options' stopTimeout), every other connection is closed;
    /// returns once its threads have ended. Safe more than once, from any thread but the
    /// service's own.
    void stop();

private:
    struct State;
    std::unique_ptr<State> state;
};

} // namespace corlune::server
