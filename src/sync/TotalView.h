#pragma once

#include <QString>

/// The "Total today: " line of the main window.
class TotalView {
public:
    virtual ~TotalView() = default;
    virtual void setTotalText(const QString& text) = 0;
};
