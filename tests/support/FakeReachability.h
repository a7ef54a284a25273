#pragma once

#include "Reachability.h"

#include <QSet>

/// Answers from a set of reachable addresses and counts the questions.
class FakeReachability final : public Reachability {
public:
    ~FakeReachability() override {
        if (released)
            *released = true;
    }
    bool isAvailable() const override { return available; }
    bool isReachable(const QHostAddress& address) override {
        ++reads;
        return reachable.contains(address);
    }

    bool available = true;
    QSet<QHostAddress> reachable;
    int reads = 0;
    /// Set to true when the fake is destroyed.
    bool* released = nullptr;
};
