#pragma once

#include "SignInPrompt.h"

#include <QPointer>

class ModalGate;
class QWidget;

/// Asks through a fresh SignInDialog each time, inside a modal scope.
class DialogSignInPrompt final : public SignInPrompt {
public:
    DialogSignInPrompt(ModalGate& modalGate, QWidget* parent);

    std::optional<SignInEntry> askForCredentials() override;

private:
    ModalGate& modalGate;
    QPointer<QWidget> parent;
};
