#pragma once

#include <QWidget>

class QToolButton;

/// A stand-alone stepper: two stacked arrow buttons that step an integer within a range, as
/// the idle threshold's minutes. It does not wrap at its limits, and an arrow held down repeats.
/// The Up and Down keys and the mouse wheel step it too.
class IdleStepper final : public QWidget {
    Q_OBJECT

public:
    explicit IdleStepper(QWidget* parent = nullptr);

    int value() const { return current; }

    /// Sets the value, clamped to the range, without emitting stepped().
    void setValue(int value);
    /// Steps by \a steps increments, clamped to the range, as a user would; emits stepped()
    /// when the value changed.
    void stepBy(int steps);

signals:
    /// The user changed the value.
    void stepped(int value);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void updateArrows();

    int lowest = 1;
    int highest = 120;
    int step = 1;
    int current = 1;
    int wheelRemainder = 0;
    QToolButton* up = nullptr;
    QToolButton* down = nullptr;
};
