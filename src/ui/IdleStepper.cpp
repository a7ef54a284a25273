#include "IdleStepper.h"

#include <QKeyEvent>
#include <QToolButton>
#include <QWheelEvent>

#include <algorithm>

namespace {
// One notch of a common mouse wheel, in eighths of a degree.
constexpr int wheelNotch = 120;
} // namespace

IdleStepper::IdleStepper(QWidget* parent)
    : QWidget(parent)
    , up(new QToolButton(this))
    , down(new QToolButton(this)) {
    setFocusPolicy(Qt::StrongFocus);
    for (QToolButton* arrow : {up, down}) {
        arrow->setAutoRepeat(true);
        arrow->setFocusPolicy(Qt::NoFocus);
    }
    up->setArrowType(Qt::UpArrow);
    down->setArrowType(Qt::DownArrow);
    up->setObjectName(QStringLiteral("idleStepperUp"));
    down->setObjectName(QStringLiteral("idleStepperDown"));
    up->setAccessibleName(QStringLiteral("Increase"));
    down->setAccessibleName(QStringLiteral("Decrease"));
    connect(up, &QToolButton::clicked, this, [this] { stepBy(1); });
    connect(down, &QToolButton::clicked, this, [this] { stepBy(-1); });
    updateArrows();
}

void IdleStepper::setValue(int value) {
    current = std::clamp(value, lowest, highest);
    updateArrows();
}

void IdleStepper::stepBy(int steps) {
    const int before = current;
    // Widened so that a huge step count cannot overflow before the clamp.
    const long long target = static_cast<long long>(current) + static_cast<long long>(steps) * step;
    setValue(static_cast<int>(std::clamp<long long>(target, lowest, highest)));
    if (current != before)
        emit stepped(current);
}

void IdleStepper::updateArrows() {
    up->setEnabled(current < highest);
    down->setEnabled(current > lowest);
}

void IdleStepper::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Up:
        stepBy(1);
        return;
    case Qt::Key_Down:
        stepBy(-1);
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void IdleStepper::wheelEvent(QWheelEvent* event) {
    wheelRemainder += event->angleDelta().y();
    const int steps = wheelRemainder / wheelNotch;
    wheelRemainder -= steps * wheelNotch;
    if (steps != 0)
        stepBy(steps);
    event->accept();
}

void IdleStepper::resizeEvent(QResizeEvent*) {
    const int upperHeight = height() / 2;
    up->setGeometry(0, 0, width(), upperHeight);
    down->setGeometry(0, upperHeight, width(), height() - upperHeight);
}
