#pragma once

#include "SignInPrompt.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

/// The sign-in dialog: the message, the informative text, three labelled fields and the
/// "Stay signed in" check box in an area of fixed frames, and the buttons "Sign In" (default)
/// and "Quit". Every instance starts empty with the box checked.
class SignInDialog : public QDialog {
    Q_OBJECT

public:
    explicit SignInDialog(QWidget* parent = nullptr);
    SignInDialog(const SignInDialog&) = delete;
    SignInDialog& operator=(const SignInDialog&) = delete;

    /// The typed entry; meaningful once accepted.
    SignInEntry entry() const;

    QLineEdit* employeeField = nullptr;
    QLineEdit* passwordField = nullptr;
    QLineEdit* jobField = nullptr;
    QCheckBox* staySignedInCheckbox = nullptr;
    QPushButton* signInButton = nullptr;
    QPushButton* quitButton = nullptr;

private:
    QWidget* buildAccessoryView();
    QLabel* addLabel(QWidget* view, const QString& text, int x, int y, int width, int height);
};
