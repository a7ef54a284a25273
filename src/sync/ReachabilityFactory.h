#pragma once

#include "Reachability.h"

#include <memory>

/// The reachability backend for this system: the kernel's routes over netlink on Linux, else
/// one that is unavailable.
std::unique_ptr<Reachability> makeReachability();
