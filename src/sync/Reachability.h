#pragma once

#include <QHostAddress>

/// Whether an address can be reached right now without first having to establish a
/// connection, answered quickly and synchronously from the system's own state, without sending
/// anything. Asked every 3 s on the GUI thread.
///
/// When the system offers no such answer, isAvailable() is false and isReachable() answers
/// true: the program then behaves as if always online and leaves failures to the requests.
class Reachability {
public:
    virtual ~Reachability() = default;
    virtual bool isAvailable() const = 0;
    /// False when there is no usable route to \a address, when the route's device has no
    /// carrier, or when the system could not be asked.
    virtual bool isReachable(const QHostAddress& address) = 0;
};
