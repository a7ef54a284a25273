#pragma once

#include "SignInPrompt.h"

#include <QPointer>

class ModalGate;
class QWidget;
class SignInDialog;

/// Asks through a fresh SignInDialog each time, inside a modal scope.
class DialogSignInPrompt final : public SignInPrompt {
public:
    DialogSignInPrompt(ModalGate& modalGate, QWidget* parent);

    std::optional<SignInEntry> askForCredentials() override;

    /// The dialog on screen, while one is (for tests and accessibility tooling).
    QPointer<SignInDialog> current;

private:
    ModalGate& modalGate;
    QPointer<QWidget> parent;
};
