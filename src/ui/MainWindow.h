#pragma once

#include "OfflineBannerView.h"
#include "RefusedReportsView.h"
#include "SessionView.h"
#include "SocialView.h"
#include "TotalView.h"

#include <QRect>
#include <QSize>
#include <QWidget>

#include <vector>

class IdleStepper;
class LogoView;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

/// The program's one window: the logo, the session's status lines and buttons, today's total,
/// the idle-threshold controls, the global-tracking check box, the offline banner, the line about
/// refused reports and the social metrics panel. Every control has a fixed frame that follows the window's
/// size by its anchoring mask; there are no layouts, so the five-times-a-second rewrites never relayout
/// anything, and a write that changes nothing neither repaints.
///
/// The window reports the user's actions as signals and never acts on them itself.
class MainWindow final : public QWidget,
                         public SessionView,
                         public OfflineBannerView,
                         public RefusedReportsView,
                         public TotalView,
                         public SocialView {
    Q_OBJECT

public:
    /// The content area at which the frames are given, and its minimum, in logical pixels.
    static constexpr QSize contentSize{680, 480};
    static constexpr QSize minimumContentSize{560, 400};

    /// Builds every control in its initial state, the logo as LogoLoader finds it; the window is
    /// not shown yet.
    explicit MainWindow(QWidget* parent = nullptr);
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    /// Centres the window on its screen, shows it and brings it to the front with the focus.
    void present();
    /// Shows the window where it was, hidden or minimised, and brings it to the front.
    void bringToFront();

    // SessionView
    void setWorkText(const QString& text) override;
    void setBreaksText(const QString& text) override;
    void setInputsText(const QString& text) override;
    void setStatusText(const QString& text) override;
    void setClockTitle(const QString& title) override;
    void setPauseEnabled(bool enabled) override;
    void setPauseTitle(const QString& title) override;
    QString idleFieldText() const override;
    void setIdleFieldText(const QString& text) override;
    void setIdleStepperValue(int minutes) override;

    // OfflineBannerView, RefusedReportsView, TotalView
    void setOfflineBannerVisible(bool visible) override;
    void setRefusedReportCount(int count) override;
    void setTotalText(const QString& text) override;

    // SocialView
    void setSocialPanelVisible(bool visible) override;
    void setSocialLines(const SocialTexts::SocialLines& lines) override;

    /// Sets the check box without emitting globalTrackToggled().
    void setGlobalTrackChecked(bool checked);

    /// Where the desktop gives no idle time or no global input, the idle caption or the check
    /// box says so in a tooltip; nothing else changes.
    void setIdleDetectionAvailable(bool available);
    void setGlobalMonitoringAvailable(bool available);

    static QString idleUnavailableToolTip();
    static QString globalMonitoringUnavailableToolTip();
    /// The line shown once the service has refused \a count reports for good, and its tooltip.
    static QString refusedReportsText(int count);
    static QString refusedReportsToolTip();

signals:
    void clockRequested();
    void pauseRequested();
    /// The user committed the idle field's text (Return, or leaving the field after a change).
    void idleFieldCommitted();
    /// The user stepped the idle stepper to \a minutes.
    void idleStepperChanged(int minutes);
    /// The check box was switched to \a on, by whatever means but setGlobalTrackChecked().
    void globalTrackToggled(bool on);
    /// The user closed the window; it stays open until told otherwise.
    void closeRequested();
    /// The user pressed Ctrl+Q.
    void quitRequested();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    struct Anchor {
        QWidget* control = nullptr;
        QRect frame; // at contentSize, top-left origin
        int mask = 0;
    };

    void setupUI();
    void addLogo();
    void addSessionLines(const QFont& figures);
    void addSessionButtons();
    void addIdleControls();
    void addOfflineBanner();
    void addSocialPanel();
    QLabel* makeLabel(const QString& name, const QFont& font, const QColor& colour);
    void place(QWidget* control, int x, int y, int width, int height, int mask);
    void applyAnchors();

    std::vector<Anchor> anchors;

    // Owned by the window as its children; set once by setupUI() and never null afterwards.
    LogoView* logoView = nullptr;
    QLabel* statusLabel = nullptr;
    QLabel* workLabel = nullptr;
    QLabel* breaksLabel = nullptr;
    QLabel* inputsLabel = nullptr;
    QPushButton* clockButton = nullptr;
    QPushButton* pauseButton = nullptr;
    QLabel* idleLabel = nullptr;
    QLineEdit* idleField = nullptr;
    IdleStepper* idleStepper = nullptr;
    QCheckBox* globalTrackCheckbox = nullptr;
    QLabel* syncLabel = nullptr;
    QLabel* refusedLabel = nullptr;
    QLabel* socialTitleLabel = nullptr;
    QLabel* igLabel = nullptr;
    QLabel* ttLabel = nullptr;
    QLabel* webLabel = nullptr;
    QLabel* latestLabel = nullptr;
    QLabel* totalLabel = nullptr;
};
