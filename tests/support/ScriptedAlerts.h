#pragma once

#include "Alerts.h"

#include <QList>

#include <functional>

/// Answers alerts from a prepared list (then with the first button) and records each one.
class ScriptedAlerts final : public Alerts {
public:
    int runModal(const AlertSpec& alert) override {
        shown.append(alert);
        if (whileOpen)
            whileOpen(alert);
        return answers.isEmpty() ? 0 : answers.takeFirst();
    }

    QList<int> answers;
    QList<AlertSpec> shown;
    std::function<void(const AlertSpec&)> whileOpen;
};
