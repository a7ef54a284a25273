#include "MessageBoxAlerts.h"

#include "ModalGate.h"

#include <QMessageBox>
#include <QPushButton>

MessageBoxAlerts::MessageBoxAlerts(ModalGate& modalGate, QWidget* parent)
    : modalGate(modalGate)
    , parent(parent) {}

int MessageBoxAlerts::runModal(const AlertSpec& alert) {
    ModalScope modal(modalGate);
    QMessageBox box(parent);
    box.setWindowModality(Qt::ApplicationModal);
    box.setWindowTitle(alert.message);
    box.setText(alert.message);
    box.setInformativeText(alert.informative);
    box.setIcon(alert.style == AlertSpec::Style::Informational ? QMessageBox::Information
                                                               : QMessageBox::Warning);
    QList<QPushButton*> buttons;
    for (qsizetype i = 0; i < alert.buttons.size(); ++i) {
        const QMessageBox::ButtonRole role = i == 0 ? QMessageBox::AcceptRole : QMessageBox::RejectRole;
        QPushButton* button = box.addButton(alert.buttons.at(i), role);
        button->setAccessibleName(alert.buttons.at(i));
        buttons.append(button);
    }
    if (!buttons.isEmpty()) {
        box.setDefaultButton(buttons.first());
        box.setEscapeButton(buttons.size() > 1 ? buttons.at(1) : buttons.first());
    }
    box.exec();
    return static_cast<int>(buttons.indexOf(qobject_cast<QPushButton*>(box.clickedButton())));
}
