#include "SignInDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace {
// The fields' area is laid out in frames whose origin is its bottom-left corner.
constexpr int accessoryWidth = 360;
constexpr int accessoryHeight = 116;

QRect frameFromBottomLeft(int x, int y, int width, int height) {
    return {x, accessoryHeight - (y + height), width, height};
}
} // namespace

SignInDialog::SignInDialog(QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("signInDialog"));
    setWindowTitle(QStringLiteral("Sign in"));
    setWindowModality(Qt::ApplicationModal);

    auto* icon = new QLabel(this);
    const int iconSize = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation, nullptr, this).pixmap(iconSize));
    icon->setAlignment(Qt::AlignTop);

    auto* message = new QLabel(QStringLiteral("Sign in"), this);
    QFont bold = message->font();
    bold.setBold(true);
    message->setFont(bold);
    auto* informative =
        new QLabel(QStringLiteral("Enter your employee ID, password, and job ID to continue."), this);
    informative->setWordWrap(true);

    signInButton = new QPushButton(QStringLiteral("Sign In"), this);
    signInButton->setObjectName(QStringLiteral("signInButton"));
    signInButton->setDefault(true);
    quitButton = new QPushButton(QStringLiteral("Quit"), this);
    quitButton->setObjectName(QStringLiteral("quitButton"));
    quitButton->setAutoDefault(false);
    connect(signInButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(quitButton, &QPushButton::clicked, this, &QDialog::reject);

    auto* text = new QVBoxLayout;
    text->addWidget(message);
    text->addWidget(informative);
    text->addSpacing(8);
    text->addWidget(buildAccessoryView());
    auto* top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addSpacing(12);
    top->addLayout(text);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(quitButton);
    buttons->addWidget(signInButton);
    auto* root = new QVBoxLayout(this);
    root->addLayout(top);
    root->addSpacing(12);
    root->addLayout(buttons);
    root->setSizeConstraint(QLayout::SetFixedSize);

    setTabOrder(employeeField, passwordField);
    setTabOrder(passwordField, jobField);
    setTabOrder(jobField, staySignedInCheckbox);
    employeeField->setFocus(Qt::OtherFocusReason);
}

QLabel* SignInDialog::addLabel(QWidget* view, const QString& text, int x, int y, int width, int height) {
    auto* label = new QLabel(text, view);
    label->setGeometry(frameFromBottomLeft(x, y, width, height));
    label->setTextInteractionFlags(Qt::NoTextInteraction);
    // White reads on the dark palette; a theme that forces a light dialog gets its own text
    // colour, so the labels never vanish into the background.
    QPalette palette = label->palette();
    const bool darkDialog = palette.color(QPalette::Window).lightness() < 128;
    palette.setColor(QPalette::WindowText, darkDialog ? QColor(Qt::white) : palette.color(QPalette::Text));
    label->setPalette(palette);
    label->setAccessibleName(text);
    return label;
}

QWidget* SignInDialog::buildAccessoryView() {
    auto* view = new QWidget(this);
    view->setObjectName(QStringLiteral("accessoryView"));
    view->setFixedSize(accessoryWidth, accessoryHeight);

    auto field = [view](const QString& name, const QString& accessible, int y) {
        auto* edit = new QLineEdit(view);
        edit->setObjectName(name);
        edit->setAccessibleName(accessible);
        edit->setGeometry(frameFromBottomLeft(120, y, 220, 24));
        return edit;
    };
    addLabel(view, QStringLiteral("Employee ID"), 0, 76, 110, 20);
    employeeField = field(QStringLiteral("employeeField"), QStringLiteral("Employee ID"), 72);
    addLabel(view, QStringLiteral("Password"), 0, 48, 110, 20);
    passwordField = field(QStringLiteral("passwordField"), QStringLiteral("Password"), 44);
    // Password echo mode also disables copy, cut and dragging the text out.
    passwordField->setEchoMode(QLineEdit::Password);
    passwordField->setInputMethodHints(Qt::ImhHiddenText | Qt::ImhSensitiveData | Qt::ImhNoPredictiveText);
    addLabel(view, QStringLiteral("Job ID"), 0, 20, 110, 20);
    jobField = field(QStringLiteral("jobField"), QStringLiteral("Job ID"), 16);

    staySignedInCheckbox = new QCheckBox(QStringLiteral("Stay signed in"), view);
    staySignedInCheckbox->setObjectName(QStringLiteral("staySignedInCheckbox"));
    staySignedInCheckbox->setAccessibleName(QStringLiteral("Stay signed in"));
    staySignedInCheckbox->setChecked(true);
    staySignedInCheckbox->setGeometry(frameFromBottomLeft(0, 0, 200, 22));
    return view;
}

SignInEntry SignInDialog::entry() const {
    return {employeeField->text(), passwordField->text(), jobField->text(),
            staySignedInCheckbox->isChecked()};
}
