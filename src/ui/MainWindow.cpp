#include "MainWindow.h"

#include "Anchoring.h"
#include "IdleStepper.h"
#include "LogoLoader.h"
#include "LogoView.h"
#include "WindowFonts.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFontMetricsF>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSignalBlocker>

#include <algorithm>
#include <cmath>

namespace {

// How the controls follow the window's size.
constexpr int fullWidthLine = Anchoring::FlexibleWidth | Anchoring::FlexibleBottomMargin;
constexpr int logoMask =
    Anchoring::FlexibleLeftMargin | Anchoring::FlexibleRightMargin | Anchoring::FlexibleBottomMargin;
constexpr int bottomLeft = Anchoring::FlexibleTopMargin;
constexpr int bottomRight = Anchoring::FlexibleLeftMargin | Anchoring::FlexibleTopMargin;
constexpr int topRight = Anchoring::FlexibleLeftMargin | Anchoring::FlexibleBottomMargin;

const QColor accent(0xA2, 0x59, 0xFF);
const QColor white(Qt::white);

void setTextIfChanged(QLabel* label, const QString& text) {
    if (label->text() != text)
        label->setText(text);
}

int textWidth(const QFont& font, const QString& text) {
    return static_cast<int>(std::ceil(QFontMetricsF(font).horizontalAdvance(text)));
}

void setHiddenIfChanged(QWidget* widget, bool hidden) {
    if (widget->isHidden() != hidden)
        widget->setHidden(hidden);
}

} // namespace

MainWindow::MainWindow(QWidget* parent)
    : QWidget(parent) {
    setupUI();
}

QLabel* MainWindow::makeLabel(const QString& name, const QFont& font, const QColor& colour) {
    auto* label = new QLabel(this);
    label->setObjectName(name);
    // Texts from the service are shown as they are, never as markup.
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::NoTextInteraction);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    return label;
}

void MainWindow::place(QWidget* control, int x, int y, int width, int height, int mask) {
    anchors.push_back({control, Anchoring::fromBottomLeft(x, y, width, height, contentSize.height()), mask});
}

void MainWindow::setupUI() {
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(QStringLiteral("Corlune Track"));
    resize(contentSize);
    setMinimumSize(minimumContentSize);
    QPalette background = palette();
    background.setColor(QPalette::Window, Qt::black);
    setPalette(background);
    setAutoFillBackground(true);

    // Created in stacking order: a later control is drawn above an earlier one.
    addLogo();
    const QFont figures = WindowFonts::monospacedDigitFont(13, QFont::Normal);
    addSessionLines(figures);
    addSessionButtons();
    addIdleControls();
    globalTrackCheckbox = new QCheckBox(QStringLiteral("Track inputs globally"), this);
    globalTrackCheckbox->setObjectName(QStringLiteral("globalTrackCheckbox"));
    // Every change counts, the keyboard's and the accessibility bus's as well as a click's.
    connect(globalTrackCheckbox, &QCheckBox::toggled, this, &MainWindow::globalTrackToggled);
    globalTrackCheckbox->setFocusPolicy(Qt::TabFocus);
    place(globalTrackCheckbox, 24, 10, 220, 24, bottomLeft);
    addOfflineBanner();
    addSocialPanel();

    // Between the work line and the breaks line.
    totalLabel = makeLabel(QStringLiteral("totalLabel"), figures, white);
    totalLabel->setText(QStringLiteral("Total today: 00:00:00"));
    place(totalLabel, 24, 252, 632, 20, fullWidthLine);

    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), this), &QShortcut::activated, this,
            &MainWindow::quitRequested);
    applyAnchors();
}

void MainWindow::addLogo() {
    logoView = new LogoView(this);
    logoView->setObjectName(QStringLiteral("logoView"));
    logoView->setAccessibleName(QStringLiteral("Corlune Track logo"));
    // Loaded for the 128-pixel frame at the screen's pixel ratio, so that it is shown unscaled.
    logoView->setImage(LogoLoader::load({}, static_cast<int>(std::ceil(128 * devicePixelRatioF()))));
    place(logoView, 24, 328, 128, 128, logoMask);
}

void MainWindow::addSessionLines(const QFont& figures) {
    statusLabel =
        makeLabel(QStringLiteral("statusLabel"), WindowFonts::systemFont(14, QFont::DemiBold), white);
    statusLabel->setText(QStringLiteral("Status: Clocked out"));
    place(statusLabel, 24, 304, 632, 24, fullWidthLine);

    workLabel = makeLabel(QStringLiteral("workLabel"), figures, white);
    workLabel->setText(QStringLiteral("Work: 00:00:00"));
    place(workLabel, 24, 276, 632, 22, fullWidthLine);

    breaksLabel = makeLabel(QStringLiteral("breaksLabel"), figures, white);
    breaksLabel->setText(QStringLiteral("Breaks: 0 (00:00:00)"));
    place(breaksLabel, 24, 234, 632, 22, fullWidthLine);

    inputsLabel = makeLabel(QStringLiteral("inputsLabel"), figures, white);
    inputsLabel->setText(QStringLiteral("Inputs: Keys 0, Clicks 0"));
    // The inputs line's frame overlaps the social title's by 14 px; setting the two texts at the
    // far edges of their frames keeps them from running into each other.
    inputsLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    place(inputsLabel, 24, 212, 632, 22, fullWidthLine);
}

void MainWindow::addSessionButtons() {
    QPalette tinted = palette();
    tinted.setColor(QPalette::Active, QPalette::ButtonText, accent);
    tinted.setColor(QPalette::Inactive, QPalette::ButtonText, accent);
    QColor dimmedAccent = accent;
    dimmedAccent.setAlpha(110);
    tinted.setColor(QPalette::Disabled, QPalette::ButtonText, dimmedAccent);

    clockButton = new QPushButton(QStringLiteral("Clock In"), this);
    clockButton->setObjectName(QStringLiteral("clockButton"));
    clockButton->setPalette(tinted);
    connect(clockButton, &QPushButton::clicked, this, &MainWindow::clockRequested);
    // A click leaves no focus behind, so a stray space bar later presses nothing.
    clockButton->setFocusPolicy(Qt::TabFocus);
    place(clockButton, 24, 40, 120, 36, bottomLeft);

    pauseButton = new QPushButton(QStringLiteral("Pause"), this);
    pauseButton->setObjectName(QStringLiteral("pauseButton"));
    pauseButton->setPalette(tinted);
    pauseButton->setEnabled(false);
    connect(pauseButton, &QPushButton::clicked, this, &MainWindow::pauseRequested);
    pauseButton->setFocusPolicy(Qt::TabFocus);
    place(pauseButton, 160, 40, 120, 36, bottomLeft);
}

void MainWindow::addIdleControls() {
    idleLabel = makeLabel(QStringLiteral("idleLabel"), font(), white);
    idleLabel->setText(QStringLiteral("Idle threshold (min)"));
    place(idleLabel, 350, 46, 180, 24, bottomRight);

    idleField = new QLineEdit(this);
    idleField->setObjectName(QStringLiteral("idleField"));
    idleField->setAccessibleName(QStringLiteral("Idle threshold (min)"));
    idleField->setAlignment(Qt::AlignCenter);
    idleLabel->setBuddy(idleField);
    connect(idleField, &QLineEdit::editingFinished, this, &MainWindow::idleFieldCommitted);
    place(idleField, 530, 44, 50, 26, bottomRight);

    idleStepper = new IdleStepper(this);
    idleStepper->setObjectName(QStringLiteral("idleStepper"));
    idleStepper->setAccessibleName(QStringLiteral("Idle threshold stepper"));
    connect(idleStepper, &IdleStepper::stepped, this, &MainWindow::idleStepperChanged);
    place(idleStepper, 590, 44, 32, 26, bottomRight);
}

void MainWindow::addOfflineBanner() {
    const QFont banner = WindowFonts::systemFont(12, QFont::DemiBold);
    syncLabel = makeLabel(QStringLiteral("syncLabel"), banner, accent);
    syncLabel->setText(QStringLiteral("Offline: Cloud sync paused. Will sync when back online."));
    syncLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    syncLabel->hide();
    // The banner's frame is 360 px wide; a wider font would cut its first words off, so the frame
    // grows to the left to fit.
    const int bannerWidth = std::max(360, textWidth(banner, syncLabel->text()));
    place(syncLabel, 660 - bannerWidth, 434, bannerWidth, 20, topRight);

    refusedLabel = makeLabel(QStringLiteral("refusedLabel"), banner, accent);
    refusedLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    refusedLabel->setToolTip(refusedReportsToolTip());
    refusedLabel->setAccessibleDescription(refusedReportsToolTip());
    refusedLabel->hide();
    const int refusedWidth = std::max(bannerWidth, textWidth(banner, refusedReportsText(9999)));
    place(refusedLabel, 660 - refusedWidth, 412, refusedWidth, 20, topRight);
}

void MainWindow::addSocialPanel() {
    socialTitleLabel =
        makeLabel(QStringLiteral("socialTitleLabel"), WindowFonts::systemFont(13, QFont::DemiBold), accent);
    socialTitleLabel->setText(QStringLiteral("Social Marketing"));
    socialTitleLabel->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
    place(socialTitleLabel, 24, 204, 632, 22, fullWidthLine);

    const QFont smallFigures = WindowFonts::monospacedDigitFont(12, QFont::Normal);
    const struct {
        QLabel** label;
        const char* name;
        int y;
    } metricLines[] = {
        {&igLabel, "igLabel", 182},
        {&ttLabel, "ttLabel", 162},
        {&webLabel, "webLabel", 142},
        {&latestLabel, "latestLabel", 122},
    };
    for (const auto& line : metricLines) {
        *line.label = makeLabel(QString::fromLatin1(line.name), smallFigures, white);
        (*line.label)->hide();
        place(*line.label, 24, line.y, 632, 20, fullWidthLine);
    }
}

void MainWindow::applyAnchors() {
    for (const Anchor& anchor : anchors)
        anchor.control->setGeometry(Anchoring::resized(anchor.frame, anchor.mask, contentSize, size()));
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    applyAnchors();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // Whether closing hides, minimises or quits depends on the session and the desktop's tray.
    event->ignore();
    emit closeRequested();
}

void MainWindow::bringToFront() {
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void MainWindow::present() {
    if (const QScreen* screen = this->screen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
    show();
    raise();
    activateWindow();
}

void MainWindow::setWorkText(const QString& text) {
    setTextIfChanged(workLabel, text);
}

void MainWindow::setBreaksText(const QString& text) {
    setTextIfChanged(breaksLabel, text);
}

void MainWindow::setInputsText(const QString& text) {
    setTextIfChanged(inputsLabel, text);
}

void MainWindow::setStatusText(const QString& text) {
    setTextIfChanged(statusLabel, text);
}

void MainWindow::setClockTitle(const QString& title) {
    if (clockButton->text() != title)
        clockButton->setText(title);
}

void MainWindow::setPauseEnabled(bool enabled) {
    if (pauseButton->isEnabled() != enabled)
        pauseButton->setEnabled(enabled);
}

void MainWindow::setPauseTitle(const QString& title) {
    if (pauseButton->text() != title)
        pauseButton->setText(title);
}

QString MainWindow::idleFieldText() const {
    return idleField->text();
}

void MainWindow::setIdleFieldText(const QString& text) {
    if (idleField->text() != text)
        idleField->setText(text);
}

void MainWindow::setIdleStepperValue(int minutes) {
    idleStepper->setValue(minutes);
}

void MainWindow::setOfflineBannerVisible(bool visible) {
    setHiddenIfChanged(syncLabel, !visible);
}

QString MainWindow::refusedReportsText(int count) {
    return count == 1 ? QStringLiteral("1 report was refused by the service and set aside.")
                      : QStringLiteral("%1 reports were refused by the service and set aside.").arg(count);
}

QString MainWindow::refusedReportsToolTip() {
    return QStringLiteral("The time-tracking service refused these reports for good, so they are not sent "
                          "again. They are kept on this computer; please tell whoever runs the service.");
}

void MainWindow::setRefusedReportCount(int count) {
    setTextIfChanged(refusedLabel, refusedReportsText(count));
    refusedLabel->setAccessibleName(refusedLabel->text());
    setHiddenIfChanged(refusedLabel, count <= 0);
}

void MainWindow::setTotalText(const QString& text) {
    setTextIfChanged(totalLabel, text);
}

void MainWindow::setSocialPanelVisible(bool visible) {
    for (QLabel* label : {socialTitleLabel, igLabel, ttLabel, webLabel, latestLabel})
        setHiddenIfChanged(label, !visible);
}

void MainWindow::setSocialLines(const SocialTexts::SocialLines& lines) {
    setTextIfChanged(igLabel, lines.instagram);
    setTextIfChanged(ttLabel, lines.tiktok);
    setTextIfChanged(webLabel, lines.website);
    setTextIfChanged(latestLabel, lines.latest);
}

void MainWindow::setGlobalTrackChecked(bool checked) {
    const QSignalBlocker quiet(globalTrackCheckbox);
    globalTrackCheckbox->setChecked(checked);
}

QString MainWindow::idleUnavailableToolTip() {
    return QStringLiteral("This desktop session does not report idle time, so work is never paused "
                          "automatically.");
}

QString MainWindow::globalMonitoringUnavailableToolTip() {
    return QStringLiteral("This desktop session does not let the program see input to other programs, "
                          "so only keys and clicks in this window are counted.");
}

void MainWindow::setIdleDetectionAvailable(bool available) {
    idleLabel->setToolTip(available ? QString() : idleUnavailableToolTip());
}

void MainWindow::setGlobalMonitoringAvailable(bool available) {
    globalTrackCheckbox->setToolTip(available ? QString() : globalMonitoringUnavailableToolTip());
}
