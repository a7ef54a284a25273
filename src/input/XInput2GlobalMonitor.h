#pragma once

#include "GlobalInputMonitor.h"

#include <QByteArray>
#include <QObject>

#include <cstdint>
#include <vector>

class QSocketNotifier;
class X11Connection;

/// Global input on X11: XInput 2.2 raw key and button presses of all master devices, selected on
/// the root window of a connection of our own (selecting on Qt's would replace Qt's own XI2
/// masks) and read as the Qt event loop finds the connection readable.
class XInput2GlobalMonitor final : public QObject, public GlobalInputMonitor {
public:
    /// \a displayName empty means $DISPLAY.
    explicit XInput2GlobalMonitor(const QByteArray& displayName = {}, QObject* parent = nullptr);
    ~XInput2GlobalMonitor() override;
    XInput2GlobalMonitor(const XInput2GlobalMonitor&) = delete;
    XInput2GlobalMonitor& operator=(const XInput2GlobalMonitor&) = delete;

    bool isAvailable() const override;
    std::unique_ptr<InputMonitor> addKeyMonitor(std::function<void()> handler) override;
    std::unique_ptr<InputMonitor> addMouseMonitor(std::function<void()> handler) override;

    /// Asks the server for every event up to now (one round trip) and dispatches them.
    void processPendingEvents() override;

private:
    enum class Kind { Key, Mouse };
    class Subscription;
    struct Handler {
        std::uint64_t id = 0;
        Kind kind = Kind::Key;
        std::function<void()> call;
        bool removed = false; // removed during a dispatch, erased after it
    };

    std::unique_ptr<InputMonitor> add(Kind kind, std::function<void()> handler);
    void remove(std::uint64_t id);
    void updateSelection();
    void drain();
    void dispatch(Kind kind);
    bool wants(Kind kind) const;
    void scheduleDrain();

    std::unique_ptr<X11Connection> connection;
    int xiOpcode = 0;
    bool hasXi22 = false;
    QSocketNotifier* notifier = nullptr; // child; enabled while a monitor is installed
    std::vector<Handler> handlers;
    std::uint64_t nextId = 1;
    int dispatchDepth = 0;
};
