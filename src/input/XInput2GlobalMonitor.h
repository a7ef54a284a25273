#pragma once

#include "GlobalInputMonitor.h"

#include <QAbstractNativeEventFilter>
#include <QObject>

#include <bitset>
#include <cstdint>
#include <vector>

struct xcb_connection_t;

/// Global input on X11: XInput 2.2 raw key and button presses of all master devices, selected on
/// the root window through Qt's own connection and taken out of Qt's event stream by a native event
/// filter. Qt selects XInput events on the root only for all devices (hierarchy and device
/// changes), never for all master devices, and a selection replaces only the mask of its own
/// client, window and device, so this one leaves Qt's alone; but a second monitor on the same
/// connection would replace the first's.
class XInput2GlobalMonitor final : public QObject,
                                   public GlobalInputMonitor,
                                   public QAbstractNativeEventFilter {
public:
    /// Selects on \a connection, borrowed: it must outlive this object. Presses arrive only through
    /// Qt's event filters, so only Qt's own connection (the factory's) delivers them; any other
    /// one only answers whether it is available.
    explicit XInput2GlobalMonitor(xcb_connection_t* connection, QObject* parent = nullptr);
    ~XInput2GlobalMonitor() override;
    XInput2GlobalMonitor(const XInput2GlobalMonitor&) = delete;
    XInput2GlobalMonitor& operator=(const XInput2GlobalMonitor&) = delete;

    bool isAvailable() const override;
    std::unique_ptr<InputMonitor> addKeyMonitor(std::function<void()> handler) override;
    std::unique_ptr<InputMonitor> addMouseMonitor(std::function<void()> handler) override;

    /// Nothing to do: the presses come in the same stream as the program's own window events, and
    /// the server sends a press's raw event before the press itself, so by the time a button of
    /// ours acts on a press, the filter has counted it.
    void processPendingEvents() override;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

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
    bool wants(Kind kind) const;
    void updateSelection();
    void select(bool keys, bool buttons);
    bool isModifierKeycode(std::uint32_t keycode);
    void loadModifierKeycodes();
    void dispatch(Kind kind);

    xcb_connection_t* connection = nullptr;
    std::uint32_t root = 0;         // raw events go to every screen's root: the first hears all
    std::uint8_t xiOpcode = 0;      // XInput's major opcode, which its events carry
    std::uint8_t xkbFirstEvent = 0; // XKB's event code, 0 without XKB
    bool hasXi22 = false;
    bool keymapStale = true;           // the keyboard mapping changed since modifierKeycodes was made
    std::bitset<256> modifierKeycodes; // keycodes whose first keysym is a modifier
    std::vector<Handler> handlers;
    std::uint64_t nextId = 1;
    int dispatchDepth = 0;
};
