#pragma once

#include "GlobalInputMonitor.h"

/// The answer where no global input is to be had: nothing is ever installed.
class UnavailableGlobalInputMonitor final : public GlobalInputMonitor {
public:
    bool isAvailable() const override { return false; }
    std::unique_ptr<InputMonitor> addKeyMonitor(std::function<void()>) override { return nullptr; }
    std::unique_ptr<InputMonitor> addMouseMonitor(std::function<void()>) override { return nullptr; }
    void processPendingEvents() override {}
};
