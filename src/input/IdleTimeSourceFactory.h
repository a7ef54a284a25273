#pragma once

#include "IdleTimeSource.h"

#include <memory>

/// The idle-time backend for the running desktop: the X server's counters on X11, Mutter's
/// idle monitor on GNOME's Wayland, else one that is unavailable. Needs a QGuiApplication;
/// call on the GUI thread.
std::unique_ptr<IdleTimeSource> makeIdleTimeSource();
