#include "DialogSignInPrompt.h"

#include "ModalGate.h"
#include "SignInDialog.h"

DialogSignInPrompt::DialogSignInPrompt(ModalGate& modalGate, QWidget* parent)
    : modalGate(modalGate)
    , parent(parent) {}

std::optional<SignInEntry> DialogSignInPrompt::askForCredentials() {
    ModalScope modal(modalGate);
    SignInDialog dialog(parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.entry();
}
