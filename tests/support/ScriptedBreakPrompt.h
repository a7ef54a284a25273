#pragma once

#include "BreakPrompt.h"

#include <QStringList>

#include <functional>

/// Answers the break prompt with a prepared answer and remembers what it was asked.
class ScriptedBreakPrompt final : public BreakPrompt {
public:
    bool askToLogBreak(const QString& durationText) override {
        asked.append(durationText);
        if (whileOpen)
            whileOpen();
        return answer;
    }

    bool answer = true;
    QStringList asked;
    /// Runs while the prompt is "open", e.g. to let time pass before the answer.
    std::function<void()> whileOpen;
};
