#pragma once

#include <QString>
#include <QStringList>

/// One application-modal alert with fixed texts.
struct AlertSpec {
    enum class Style { Informational, Warning };
    QString message;
    QString informative;
    Style style = Style::Warning;
    /// The first button is the affirmative one and the default.
    QStringList buttons;

    bool operator==(const AlertSpec&) const = default;
};

/// Shows alerts and waits for the answer. Implementations run inside a ModalScope, so the
/// program's timers stand still while an alert is open.
class Alerts {
public:
    virtual ~Alerts() = default;
    /// The index of the button pressed (0 for the first); -1 when the alert was dismissed
    /// without a button.
    virtual int runModal(const AlertSpec& alert) = 0;
};
