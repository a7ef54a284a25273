#include "DialogSignInPrompt.h"
#include "ModalGate.h"
#include "QtPrinters.h"
#include "SignInDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

// Runs \a act once the prompt's dialog is on screen.
void whenDialogShows(DialogSignInPrompt&, std::function<void(SignInDialog&)> act) {
    QTimer::singleShot(0, [act] {
        const auto shown = [] { return qobject_cast<SignInDialog*>(QApplication::activeModalWidget()); };
        if (!QTest::qWaitFor([&] { return shown() && shown()->isVisible(); }, 5000)) {
            ADD_FAILURE() << "the sign-in dialog did not show";
            return;
        }
        act(*shown());
    });
}

TEST(SignInDialog, AccessoryFramesMirrorTheBottomLeftLayout) {
    SignInDialog dialog;
    const QWidget* view = dialog.findChild<QWidget*>("accessoryView");
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->size(), QSize(360, 116));
    EXPECT_EQ(dialog.employeeField->geometry(), QRect(120, 20, 220, 24));
    EXPECT_EQ(dialog.passwordField->geometry(), QRect(120, 48, 220, 24));
    EXPECT_EQ(dialog.jobField->geometry(), QRect(120, 76, 220, 24));
    EXPECT_EQ(dialog.staySignedInCheckbox->geometry(), QRect(0, 94, 200, 22));
    QStringList labels;
    for (const QLabel* label : view->findChildren<QLabel*>())
        labels.append(label->text() + u'@' + QString::number(label->y()));
    labels.sort();
    EXPECT_EQ(labels, (QStringList{"Employee ID@20", "Job ID@76", "Password@48"}));
    EXPECT_EQ(dialog.passwordField->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(dialog.signInButton->isDefault());
}

TEST(SignInDialog, LabelsStayReadableOnDarkAndLightPalettes) {
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(30, 30, 30));
    QApplication::setPalette(dark);
    {
        SignInDialog dialog;
        for (const QLabel* label : dialog.findChild<QWidget*>("accessoryView")->findChildren<QLabel*>())
            EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(Qt::white))
                << label->text().toStdString();
    }
    QPalette light;
    light.setColor(QPalette::Window, QColor(240, 240, 240));
    light.setColor(QPalette::Text, QColor(10, 10, 10));
    QApplication::setPalette(light);
    {
        SignInDialog dialog;
        for (const QLabel* label : dialog.findChild<QWidget*>("accessoryView")->findChildren<QLabel*>())
            EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(10, 10, 10));
    }
    QApplication::setPalette(QPalette());
}

TEST(SignInDialog, TypingTabbingAndReturnSignIn) {
    ModalGate gate;
    DialogSignInPrompt prompt(gate, nullptr);
    bool modalWhileOpen = false;
    whenDialogShows(prompt, [&](SignInDialog& dialog) {
        modalWhileOpen = gate.isOpen();
        EXPECT_TRUE(QTest::qWaitFor([&] { return dialog.employeeField->hasFocus(); }, 5000));
        EXPECT_TRUE(dialog.staySignedInCheckbox->isChecked());
        QTest::keyClicks(QApplication::focusWidget(), " emp 1");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), dialog.passwordField);
        QTest::keyClicks(QApplication::focusWidget(), "p");
        dialog.passwordField->insert(QString::fromUtf8("ässwörd")); // QTest types ASCII only
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), dialog.jobField);
        QTest::keyClicks(QApplication::focusWidget(), "0");
        EXPECT_NE(dialog.passwordField->displayText(), QStringLiteral("pässwörd"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    });
    const std::optional<SignInEntry> entry = prompt.askForCredentials();
    EXPECT_TRUE(modalWhileOpen);
    EXPECT_FALSE(gate.isOpen());
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->employeeId, " emp 1");
    EXPECT_EQ(entry->password, QString::fromUtf8("pässwörd"));
    EXPECT_EQ(entry->jobId, "0");
    EXPECT_TRUE(entry->staySignedIn);
}

TEST(SignInDialog, EachAttemptIsFreshAndQuitAnswersNone) {
    ModalGate gate;
    DialogSignInPrompt prompt(gate, nullptr);
    whenDialogShows(prompt, [](SignInDialog& dialog) {
        dialog.employeeField->setText("typed");
        dialog.staySignedInCheckbox->setChecked(false);
        dialog.signInButton->click();
    });
    const std::optional<SignInEntry> first = prompt.askForCredentials();
    ASSERT_TRUE(first);
    EXPECT_FALSE(first->staySignedIn);

    bool freshDialog = false;
    whenDialogShows(prompt, [&](SignInDialog& dialog) {
        freshDialog = dialog.employeeField->text().isEmpty() && dialog.staySignedInCheckbox->isChecked();
        dialog.quitButton->click();
    });
    EXPECT_FALSE(prompt.askForCredentials());
    EXPECT_TRUE(freshDialog);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
