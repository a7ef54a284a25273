#pragma once

#include <QString>

/// Asks the returning user whether an idle stretch was a break. Blocks until answered.
/// Implementations run their dialog inside a ModalScope so that no tick runs meanwhile.
class BreakPrompt {
public:
    virtual ~BreakPrompt() = default;
    /// \a durationText is the stretch as "HH:MM:SS". True means "Log Break".
    virtual bool askToLogBreak(const QString& durationText) = 0;
};
