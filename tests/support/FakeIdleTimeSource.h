#pragma once

#include "IdleTimeSource.h"

class FakeIdleTimeSource final : public IdleTimeSource {
public:
    double secondsSinceLastInput() override {
        ++queries;
        return seconds;
    }
    bool isAvailable() const override { return true; }

    double seconds = 0.0;
    int queries = 0;
};
