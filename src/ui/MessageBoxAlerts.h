#pragma once

#include "Alerts.h"

#include <QPointer>

class ModalGate;
class QWidget;

/// Alerts as application-modal QMessageBoxes, each inside a modal scope.
class MessageBoxAlerts final : public Alerts {
public:
    MessageBoxAlerts(ModalGate& modalGate, QWidget* parent);

    int runModal(const AlertSpec& alert) override;

private:
    ModalGate& modalGate;
    QPointer<QWidget> parent;
};
