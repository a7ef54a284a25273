#pragma once

#include "SignInPrompt.h"

#include <QList>

#include <functional>

/// Hands out prepared dialog entries (none = "Quit", also once the list is used up) and counts
/// the dialogs shown.
class ScriptedSignInPrompt final : public SignInPrompt {
public:
    std::optional<SignInEntry> askForCredentials() override {
        ++dialogs;
        if (whileOpen)
            whileOpen();
        if (entries.isEmpty())
            return std::nullopt;
        return entries.takeFirst();
    }

    QList<std::optional<SignInEntry>> entries;
    int dialogs = 0;
    std::function<void()> whileOpen;
};
