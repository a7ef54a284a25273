#include "BreakPromptDialog.h"

#include "ModalGate.h"

#include <QMessageBox>
#include <QPushButton>

BreakPromptDialog::BreakPromptDialog(ModalGate& modalGate, QWidget* parent)
    : modalGate(modalGate)
    , parent(parent) {}

QString BreakPromptDialog::informativeText(const QString& durationText) {
    return QStringLiteral("Log this break (") + durationText + QStringLiteral(")?");
}

bool BreakPromptDialog::askToLogBreak(const QString& durationText) {
    ModalScope modal(modalGate);
    QMessageBox box(parent.data());
    box.setObjectName(QStringLiteral("breakPrompt"));
    box.setWindowModality(Qt::ApplicationModal);
    box.setWindowTitle(QStringLiteral("Corlune Track"));
    box.setIcon(QMessageBox::Information);
    box.setTextFormat(Qt::PlainText);
    box.setText(QStringLiteral("Welcome back"));
    box.setInformativeText(informativeText(durationText));
    QPushButton* logBreak = box.addButton(QStringLiteral("Log Break"), QMessageBox::AcceptRole);
    QPushButton* dontLog = box.addButton(QStringLiteral("Don't Log"), QMessageBox::RejectRole);
    box.setDefaultButton(logBreak);
    box.setEscapeButton(dontLog);
    box.exec();
    return box.clickedButton() == logBreak;
}
