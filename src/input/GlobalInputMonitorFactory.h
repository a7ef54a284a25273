#pragma once

#include "GlobalInputMonitor.h"

#include <memory>

/// The global input backend for the running desktop: XInput 2.2 raw events on X11, else one
/// that is unavailable (Wayland gives ordinary programs no global input). Needs a
/// QGuiApplication; call on the GUI thread.
std::unique_ptr<GlobalInputMonitor> makeGlobalInputMonitor();
