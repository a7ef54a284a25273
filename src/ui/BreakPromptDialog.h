#pragma once

#include "BreakPrompt.h"

#include <QPointer>
#include <QString>
#include <QWidget>

class ModalGate;

/// The return-from-idle break prompt as an application-modal message box: "Welcome back",
/// "Log this break (HH:MM:SS)?", with "Log Break" (the default) and "Don't Log". Escape and
/// closing the box count as "Don't Log". The box runs inside a ModalScope, so the program's
/// timers drop their ticks while it is open.
class BreakPromptDialog final : public BreakPrompt {
public:
    /// \a parent, when given, is the window the box is centred on; it may go away first.
    explicit BreakPromptDialog(ModalGate& modalGate, QWidget* parent);
    BreakPromptDialog(const BreakPromptDialog&) = delete;
    BreakPromptDialog& operator=(const BreakPromptDialog&) = delete;

    bool askToLogBreak(const QString& durationText) override;

    static QString informativeText(const QString& durationText);

private:
    ModalGate& modalGate;
    QPointer<QWidget> parent;
};
