#pragma once

#include "InputMonitor.h"

#include <functional>
#include <memory>

/// Key presses and mouse-button presses made anywhere on the user's desktop, whichever program
/// receives them, this program's own windows included. Handlers run on the GUI thread, once per
/// press: a modifier key pressed alone (Shift, Control, Alt, Super, AltGr, Caps Lock) and a
/// scroll-wheel step are not presses, and a key held down is one press, its auto-repeats are
/// not delivered.
///
/// Unavailable where the platform gives ordinary programs no global input (Wayland), on an X
/// server without XInput 2.2, and once the connection to the X server is lost: isAvailable()
/// is then false, the add functions answer nullptr and installed monitors stay silent, so the
/// program keeps counting its own windows only.
class GlobalInputMonitor {
public:
    virtual ~GlobalInputMonitor() = default;
    virtual bool isAvailable() const = 0;
    /// Calls \a handler for each key press until the returned monitor is destroyed.
    virtual std::unique_ptr<InputMonitor> addKeyMonitor(std::function<void()> handler) = 0;
    /// Calls \a handler for each press of a mouse button (left, right, middle, back, forward...).
    virtual std::unique_ptr<InputMonitor> addMouseMonitor(std::function<void()> handler) = 0;
    /// Calls the handlers now for every press the desktop made before the input being handled,
    /// rather than when the event loop next finds them, so that a button's action never runs
    /// before its own press has been counted. A backend whose presses come in one stream with the
    /// program's own window events (X11) has nothing left to do.
    virtual void processPendingEvents() = 0;
};
