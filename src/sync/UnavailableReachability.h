#pragma once

#include "Reachability.h"

/// The answer of a platform without a reachability backend.
class UnavailableReachability final : public Reachability {
public:
    bool isAvailable() const override { return false; }
    bool isReachable(const QHostAddress&) override { return true; }
};
