#pragma once

#include "IdleTimeSource.h"

/// The answer where no backend can tell the idle time: 0, so the session never pauses by itself.
class UnavailableIdleTimeSource final : public IdleTimeSource {
public:
    double secondsSinceLastInput() override { return 0.0; }
    bool isAvailable() const override { return false; }
};
