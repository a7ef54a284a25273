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
        return add(QStringLiteral("key"), keyHandlers, std::move(handler));
    }
    std::unique_ptr<InputMonitor> addMouseMonitor(std::function<void()> handler) override {
        return add(QStringLiteral("mouse"), mouseHandlers, std::move(handler));
    }

    void pressKey() {
        for (const auto& [id, handler] : keyHandlers)
            handler();
    }
    void click() {
        for (const auto& [id, handler] : mouseHandlers)
            handler();
    }
    /// A click the desktop has made but not yet delivered: it reaches the monitors only with
    /// processPendingEvents().
    void clickNotYetDelivered() { ++undeliveredClicks; }
    void processPendingEvents() override {
        for (; undeliveredClicks > 0; --undeliveredClicks)
            click();
    }

    bool available = true;
    int undeliveredClicks = 0;
    QStringList log;
    std::map<int, std::function<void()>> keyHandlers;
    std::map<int, std::function<void()>> mouseHandlers;

private:
    class Handle final : public InputMonitor {
    public:
        Handle(FakeGlobalInputMonitor& owner, QString kind, std::map<int, std::function<void()>>& handlers,
               int id)
            : owner(owner)
            , kind(std::move(kind))
            , handlers(handlers)
            , id(id) {}
        ~Handle() override {
            handlers.erase(id);
            owner.log.append(QStringLiteral("remove ") + kind);
        }
        Handle(const Handle&) = delete;
        Handle& operator=(const Handle&) = delete;

    private:
        FakeGlobalInputMonitor& owner;
        QString kind;
        std::map<int, std::function<void()>>& handlers;
        int id = 0;
    };

    std::unique_ptr<InputMonitor> add(const QString& kind, std::map<int, std::function<void()>>& handlers,
                                      std::function<void()> handler) {
        if (!available)
            return nullptr;
        const int id = nextId++;
        handlers.emplace(id, std::move(handler));
        log.append(QStringLiteral("add ") + kind);
        return std::make_unique<Handle>(*this, kind, handlers, id);
    }

    int nextId = 1;
};
