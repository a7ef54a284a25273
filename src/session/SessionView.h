#pragma once

#include <QString>

/// The controls the work session writes: the status lines, the two session buttons and the
/// idle-threshold field and stepper. The window implements it; tests record it.
class SessionView {
public:
    virtual ~SessionView() = default;
    virtual void setWorkText(const QString& text) = 0;
    virtual void setBreaksText(const QString& text) = 0;
    virtual void setInputsText(const QString& text) = 0;
    virtual void setStatusText(const QString& text) = 0;
    virtual void setClockTitle(const QString& title) = 0;
    virtual void setPauseEnabled(bool enabled) = 0;
    virtual void setPauseTitle(const QString& title) = 0;

    virtual QString idleFieldText() const = 0;
    virtual void setIdleFieldText(const QString& text) = 0;
    virtual void setIdleStepperValue(int minutes) = 0;
};
