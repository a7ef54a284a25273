#pragma once

#include "IdleTimeSource.h"

#include <memory>

/// Picks the idle-time backend for the running desktop: the X server's counters on X11,
/// Mutter's idle monitor on GNOME's Wayland, else one that is unavailable. Needs a
/// QGuiApplication; call on the GUI thread.
namespace IdleTimeSourceFactory {
std::unique_ptr<IdleTimeSource> create();
}
