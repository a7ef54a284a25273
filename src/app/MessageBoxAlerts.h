#pragma once

#include "Alerts.h"

#include <QPointer>

class ModalGate;
class QMessageBox;
class QWidget;

/// Alerts as application-modal QMessageBoxes, each inside a modal scope.
class MessageBoxAlerts final : public Alerts {
public:
    MessageBoxAlerts(ModalGate& modalGate, QWidget* parent);

    int runModal(const AlertSpec& alert) override;

    /// The alert on screen, while one is (for tests).
    QPointer<QMessageBox> current;

private:
    ModalGate& modalGate;
    QPointer<QWidget> parent;
};
