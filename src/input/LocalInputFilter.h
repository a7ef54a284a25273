#pragma once

#include "InputMonitor.h"

#include <QObject>

#include <functional>

/// A local event monitor: one application-wide event filter that sees the key presses or the
/// mouse-button presses delivered to this program's own windows and dialogs, calls its handler
/// for each, and lets every event through untouched. It is installed on the application while
/// it exists.
class LocalInputFilter final : public QObject, public InputMonitor {
public:
    enum class Kind { Key, Mouse };

    LocalInputFilter(Kind kind, std::function<void()> handler);
    ~LocalInputFilter() override;
    LocalInputFilter(const LocalInputFilter&) = delete;
    LocalInputFilter& operator=(const LocalInputFilter&) = delete;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Kind kind = Kind::Key;
    std::function<void()> handler;
};
