#pragma once

#include "SocialTexts.h"

/// The social metrics panel of the main window: the title "Social Marketing" and its four lines.
/// The window implements it; tests record it.
class SocialView {
public:
    virtual ~SocialView() = default;
    /// Shows or hides the title and the four lines, all together.
    virtual void setSocialPanelVisible(bool visible) = 0;
    virtual void setSocialLines(const SocialTexts::SocialLines& lines) = 0;
};
