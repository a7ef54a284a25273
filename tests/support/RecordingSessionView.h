#pragma once

#include "QtPrinters.h"
#include "SessionView.h"

#include <QStringList>

/// Holds what the session wrote to each control, and counts the writes.
class RecordingSessionView final : public SessionView {
public:
    void setWorkText(const QString& text) override { work = text, ++writes; }
    void setBreaksText(const QString& text) override { breaks = text, ++writes; }
    void setInputsText(const QString& text) override { inputs = text, ++writes; }
    void setStatusText(const QString& text) override { status = text, ++writes; }
    void setClockTitle(const QString& title) override { clockTitle = title, ++writes; }
    void setPauseEnabled(bool enabled) override { pauseEnabled = enabled, ++writes; }
    void setPauseTitle(const QString& title) override { pauseTitle = title, ++writes; }

    QString idleFieldText() const override { return idleField; }
    void setIdleFieldText(const QString& text) override { idleField = text; }
    void setIdleStepperValue(int minutes) override { idleStepper = minutes; }

    QString work, breaks, inputs, status, clockTitle;
    bool pauseEnabled = false;
    QString pauseTitle = QStringLiteral("Pause");
    QString idleField;
    int idleStepper = 0;
    int writes = 0;
};
