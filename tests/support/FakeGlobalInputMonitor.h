#pragma once

#include "GlobalInputMonitor.h"

#include <QStringList>

#include <map>

/// Global input on demand: pressKey() and click() call the installed monitors. Logs every
/// install and removal ("add key", "remove mouse"...) in order. Must outlive its monitors.
class FakeGlobalInputMonitor final : public GlobalInputMonitor {
public:
    bool isAvailable() const override { return available; }
    std::unique_ptr<InputMonitor> addKeyMonitor(std::function<void()> handler) override {
        return add(QStringLiteral("key"), std::move(handler));
    }
    std::unique_ptr<InputMonitor> addMouseMonitor(std::function<void()> handler) override {
        return add(QStringLiteral("mouse"), std::move(handler));
    }
    /// Delivers the clicks the desktop made but had not yet delivered (clickNotYetDelivered()).
    void processPendingEvents() override {
        for (; undeliveredClicks > 0; --undeliveredClicks)
            click();
    }

    void pressKey() { call(QStringLiteral("key")); }
    void click() { call(QStringLiteral("mouse")); }
    void clickNotYetDelivered() { ++undeliveredClicks; }

    bool available = true;
    int undeliveredClicks = 0;
    QStringList log;

private:
    struct Handle final : InputMonitor {
        Handle(FakeGlobalInputMonitor& owner, QString kind)
            : owner(owner)
            , kind(std::move(kind)) {}
        ~Handle() override {
            owner.handlers.erase(this);
            owner.log.append("remove " + kind);
        }
        FakeGlobalInputMonitor& owner;
        QString kind;
    };

    std::unique_ptr<InputMonitor> add(const QString& kind, std::function<void()> handler) {
        if (!available)
            return nullptr;
        auto handle = std::make_unique<Handle>(*this, kind);
        handlers.emplace(handle.get(), std::move(handler));
        log.append("add " + kind);
        return handle;
    }

    void call(const QString& kind) {
        for (const auto& [handle, handler] : handlers) {
            if (handle->kind == kind)
                handler();
        }
    }

    std::map<const Handle*, std::function<void()>> handlers;
};
