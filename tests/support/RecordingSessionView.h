#pragma once

#include "QtPrinters.h"
#include "SessionView.h"

/// Holds what the session last wrote to each control.
class RecordingSessionView final : public SessionView {
public:
    void setWorkText(const QString& text) override { work = text; }
    void setBreaksText(const QString& text) override { breaks = text; }
    void setInputsText(const QString& text) override { inputs = text; }
    void setStatusText(const QString& text) override { status = text; }
    void setClockTitle(const QString&) override {}
    void setPauseEnabled(bool) override {}
    void setPauseTitle(const QString&) override {}

    QString idleFieldText() const override { return idleField; }
    void setIdleFieldText(const QString& text) override { idleField = text; }
    void setIdleStepperValue(int minutes) override { idleStepper = minutes; }

    QString work, breaks, inputs, status, idleField;
    int idleStepper = 0;
};
