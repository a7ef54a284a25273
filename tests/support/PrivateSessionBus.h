#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

/// A D-Bus message bus of the test's own, with nothing activatable: a name has an owner only
/// when someone on the bus claims it, and calls to an unowned name fail at once. Stopped when
/// the object goes.
class PrivateSessionBus {
public:
    PrivateSessionBus();
    ~PrivateSessionBus();
    PrivateSessionBus(const PrivateSessionBus&) = delete;
    PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;

    /// Empty when the bus daemon did not start.
    QString address() const { return busAddress; }

private:
    QTemporaryDir dir;
    QProcess daemon;
    QString busAddress;
};
