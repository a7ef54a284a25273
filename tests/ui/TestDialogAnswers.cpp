// Which button of each dialog counts as yes, pressed on the test display as a user presses it.
#include "BreakPromptDialog.h"
#include "DialogSignInPrompt.h"
#include "MessageBoxAlerts.h"
#include "ModalGate.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

// Once the modal dialog shows: checks that it starts empty with its box checked, fills each
// field with its own object name, notes whether the modal gate is open, and presses \a button.
void answerWhenShown(const QString& button, const ModalGate& gate, bool& gateOpen) {
    QTimer::singleShot(0, [&, button] {
        QWidget* dialog = nullptr;
        if (!QTest::qWaitFor(
                [&] { return (dialog = QApplication::activeModalWidget()) && dialog->isVisible(); }, 10000)) {
            ADD_FAILURE() << "no dialog showed";
            return;
        }
        gateOpen = gate.isOpen();
        for (QLineEdit* field : dialog->findChildren<QLineEdit*>()) {
            EXPECT_TRUE(field->text().isEmpty()) << "a sign-in dialog that is not fresh";
            field->setText(field->objectName());
        }
        for (const QCheckBox* box : dialog->findChildren<QCheckBox*>())
            EXPECT_TRUE(box->isChecked());
        if (button == "Escape" || button == "Return")
            QTest::keyClick(dialog, button == "Escape" ? Qt::Key_Escape : Qt::Key_Return);
        for (QAbstractButton* pressable : dialog->findChildren<QAbstractButton*>()) {
            if (pressable->text() == button)
                QTest::mouseClick(pressable, Qt::LeftButton);
        }
        if (dialog->isVisible()) {
            ADD_FAILURE() << button.toStdString() << " left the dialog open";
            dialog->close();
        }
    });
}

TEST(Dialogs, OnlyTheFirstButtonMeansYes) {
    ModalGate gate;
    BreakPromptDialog breakPrompt(gate, nullptr);
    MessageBoxAlerts alerts(gate, nullptr);
    DialogSignInPrompt signIn(gate, nullptr);
    const struct {
        const char* dialog;
        const char* press;
        bool yes;
    } cases[] = {
        {"break", "Log Break", true}, {"break", "Don't Log", false}, {"break", "Escape", false},
        {"break", "Return", true},    {"alert", "Install", true},    {"alert", "Later", false},
        {"alert", "Escape", false},   {"alert", "Return", true},     {"sign-in", "Sign In", true},
        {"sign-in", "Quit", false},   {"sign-in", "Escape", false},  {"sign-in", "Return", true},
    };
    for (const auto& c : cases) {
        bool gateOpen = false;
        answerWhenShown(c.press, gate, gateOpen);
        bool yes = false;
        if (c.dialog == std::string_view("break")) {
            yes = breakPrompt.askToLogBreak("00:27:00");
        } else if (c.dialog == std::string_view("alert")) {
            yes = alerts.runModal(
                      {"Update available", "", AlertSpec::Style::Informational, {"Install", "Later"}}) == 0;
        } else if (const std::optional<SignInEntry> entry = signIn.askForCredentials()) {
            yes = true;
            EXPECT_EQ(
                QStringList({entry->employeeId, entry->password, entry->jobId}).join(u'/').toStdString(),
                "employeeField/passwordField/jobField");
        }
        EXPECT_EQ(yes, c.yes) << c.dialog << ": " << c.press;
        EXPECT_TRUE(gateOpen) << c.dialog << ": the program's timers ran while it was open";
        EXPECT_FALSE(gate.isOpen());
    }
}

} // namespace
