#pragma once

#include "IdleTimeSource.h"

class FakeIdleTimeSource final : public IdleTimeSource {
public:
    double secondsSinceLastInput() override {
        ++queries;
        return seconds;
    }
    bool isAvailable() const override { return available; }

    double seconds = 0.0;
    bool available = true;
    int queries = 0;
};
