#pragma once

#include <QPoint>
#include <QProcess>
#include <QString>

/// The XInputTarget program running as a separate X client: a window at \a topLeft, 300 by 200,
/// that reports the presses it receives.
class InputTargetProcess {
public:
    explicit InputTargetProcess(QPoint topLeft = QPoint(700, 100));
    ~InputTargetProcess();
    InputTargetProcess(const InputTargetProcess&) = delete;
    InputTargetProcess& operator=(const InputTargetProcess&) = delete;

    /// The X window ID in decimal, as xdotool takes it; empty when the window did not appear.
    QString windowId() const { return id; }
    QPoint centre() const { return topLeft + QPoint(150, 100); }

    /// Waits (bounded) until the window has received at least \a count key presses in all.
    bool waitForKeys(int count);
    bool waitForButtons(int count);
    int keys() const { return keyPresses; }
    int buttons() const { return buttonPresses; }

private:
    void readReports();

    QProcess process;
    QPoint topLeft;
    QString id;
    int keyPresses = 0;
    int buttonPresses = 0;
};
