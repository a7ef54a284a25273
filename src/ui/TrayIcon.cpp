#include "TrayIcon.h"

#include <QAction>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>

namespace {

using SessionTexts::Activity;

// A clock face in the state's colour: hands while working, two bars while paused, an empty
// ring when clocked out; offline adds a struck-through dot in the corner.
QIcon drawIcon(Activity activity, bool online) {
    const QColor colour = activity == Activity::Working      ? QColor(0xA2, 0x59, 0xFF)
                          : activity == Activity::Paused     ? QColor(0xF0, 0xA0, 0x20)
                          : activity == Activity::AutoPaused ? QColor(0x3C, 0xA0, 0xF0)
                                                             : QColor(0x90, 0x90, 0x90);
    QIcon icon;
    for (const int size : {22, 44}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(size / 22.0, size / 22.0);
        painter.setPen(QPen(colour, 2));
        painter.setBrush(activity == Activity::ClockedOut ? QBrush(Qt::NoBrush) : QBrush(colour));
        painter.drawEllipse(QRectF(2, 2, 18, 18));
        painter.setPen(QPen(activity == Activity::ClockedOut ? colour : QColor(Qt::white), 2, Qt::SolidLine,
                            Qt::RoundCap));
        if (activity == Activity::Paused || activity == Activity::AutoPaused) {
            painter.drawLine(QPointF(8.5, 7), QPointF(8.5, 15));
            painter.drawLine(QPointF(13.5, 7), QPointF(13.5, 15));
        } else {
            painter.drawLine(QPointF(11, 11), QPointF(11, 6));
            painter.drawLine(QPointF(11, 11), QPointF(15, 13));
        }
        if (!online) {
            painter.setPen(QPen(Qt::white, 1.5));
            painter.setBrush(QColor(0xD0, 0x30, 0x30));
            painter.drawEllipse(QRectF(13, 13, 8, 8));
            painter.drawLine(QPointF(14.8, 19.2), QPointF(19.2, 14.8));
        }
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace

TrayIcon::TrayIcon(QObject* parent)
    : QObject(parent)
    , menu(std::make_unique<QMenu>())
    , icon(std::make_unique<QSystemTrayIcon>()) {
    menu->setObjectName(QStringLiteral("trayMenu"));
    connect(addAction("trayShowAction", QStringLiteral("Show Corlune Track")), &QAction::triggered, this,
            &TrayIcon::showRequested);
    menu->addSeparator();
    clockAction = addAction("trayClockAction", QStringLiteral("Clock In"));
    connect(clockAction, &QAction::triggered, this, &TrayIcon::clockRequested);
    pauseAction = addAction("trayPauseAction", QStringLiteral("Pause"));
    pauseAction->setEnabled(false);
    connect(pauseAction, &QAction::triggered, this, &TrayIcon::pauseRequested);
    menu->addSeparator();
    startAtLoginAction = addAction("trayStartAtLoginAction", QStringLiteral("Start at login"));
    startAtLoginAction->setCheckable(true);
    connect(startAtLoginAction, &QAction::triggered, this, &TrayIcon::startAtLoginToggled);
    connect(addAction("trayQuitAction", QStringLiteral("Quit")), &QAction::triggered, this,
            &TrayIcon::quitRequested);

    icon->setContextMenu(menu.get());
    connect(icon.get(), &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
            emit showRequested();
    });
    update(0, false, 0, true);
    icon->show();
}

TrayIcon::~TrayIcon() = default;

QAction* TrayIcon::addAction(const char* name, const QString& text) {
    QAction* action = menu->addAction(text);
    action->setObjectName(QString::fromLatin1(name));
    return action;
}

bool TrayIcon::isAvailable() {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void TrayIcon::update(qint64 mode, bool autoPaused, qint64 workSeconds, bool online) {
    const std::pair<Activity, bool> state{SessionTexts::activity(mode, autoPaused), online};
    if (shown != state) {
        shown = state;
        icon->setIcon(drawIcon(state.first, online));
    }
    // Each change reaches the desktop as a message of its own: once a second while working.
    QString tip = SessionTexts::trayToolTip(mode, autoPaused, workSeconds);
    if (tip != toolTip) {
        toolTip = std::move(tip);
        icon->setToolTip(toolTip);
    }
    const SessionTexts::StatusRow row = SessionTexts::statusRow(mode, autoPaused);
    clockAction->setText(row.clockTitle);
    pauseAction->setEnabled(row.pauseEnabled);
    if (row.pauseTitle)
        pauseAction->setText(*row.pauseTitle);
}

void TrayIcon::setStartAtLoginChecked(bool checked) {
    startAtLoginAction->setChecked(checked);
}
