#pragma once

#include "SessionTexts.h"

#include <QObject>
#include <QString>

#include <memory>
#include <optional>
#include <utility>

class QAction;
class QMenu;
class QSystemTrayIcon;

/// The program's icon in the desktop's tray: a StatusNotifierItem where the session bus has a
/// StatusNotifierWatcher, else an icon in the X11 tray, which may appear later. The icon shows
/// what the session is doing and whether the program is offline, the tooltip the status and the
/// work time; its menu offers the window's session buttons under the same titles and rules.
///
/// It reports the user's choices as signals and never acts on them itself.
class TrayIcon final : public QObject {
    Q_OBJECT

public:
    explicit TrayIcon(QObject* parent = nullptr);
    ~TrayIcon() override;
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;

    /// Whether the desktop shows a tray now, so that a hidden window can be found again.
    static bool isAvailable();

    /// Rewrites the icon, the tooltip and the menu from the session; what has not changed is not
    /// passed on to the desktop again.
    void update(qint64 mode, bool autoPaused, qint64 workSeconds, bool online);
    /// Sets the check mark without emitting startAtLoginToggled().
    void setStartAtLoginChecked(bool checked);

signals:
    void showRequested();
    void clockRequested();
    void pauseRequested();
    void startAtLoginToggled(bool on);
    void quitRequested();

private:
    QAction* addAction(const char* name, const QString& text);

    // The menu outlives the icon that shows it.
    std::unique_ptr<QMenu> menu;
    std::unique_ptr<QSystemTrayIcon> icon;
    QAction* clockAction = nullptr;
    QAction* pauseAction = nullptr;
    QAction* startAtLoginAction = nullptr;
    QString toolTip;
    std::optional<std::pair<SessionTexts::Activity, bool>> shown; // activity, online
};
