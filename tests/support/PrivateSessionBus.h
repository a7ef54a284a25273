#pragma once

#include "ChildProcess.h"
#include "TempDir.h"

#include <QString>

#include <memory>

/// A D-Bus message bus of the test's own, with nothing activatable: a name has an owner only
/// when someone on the bus claims it, and calls to an unowned name fail at once. Stopped when
/// the object goes.
class PrivateSessionBus {
public:
    PrivateSessionBus();
    PrivateSessionBus(const PrivateSessionBus&) = delete;
    PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;

    /// Empty when the bus daemon did not start.
    QString address() const { return busAddress; }

private:
    TempDir dir;
    std::unique_ptr<ChildProcess> daemon;
    QString busAddress;
};
