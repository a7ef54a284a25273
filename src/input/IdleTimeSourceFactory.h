#pragma once

#include "IdleTimeSource.h"

#include <QString>

#include <memory>

/// Where the program keeps the module that reads Wayland compositors' idle notifications:
/// installed in its library folder, found relative to the program's own directory, or beside the
/// program in the build tree.
QString defaultWaylandIdleModulePath();

/// The idle-time backend for the running desktop: the X server's counters on X11; on Wayland,
/// Mutter's idle monitor on GNOME, else the compositor's idle notifications through the module at
/// \a waylandIdleModule; else one that is unavailable. Needs a QGuiApplication; call on the GUI
/// thread.
std::unique_ptr<IdleTimeSource>
makeIdleTimeSource(const QString& waylandIdleModule = defaultWaylandIdleModulePath());
