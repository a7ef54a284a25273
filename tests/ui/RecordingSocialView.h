#pragma once

#include "QtPrinters.h"
#include "SocialView.h"

#include <vector>

/// Remembers what the panel showed, hid and wrote, in order.
class RecordingSocialView final : public SocialView {
public:
    void setSocialPanelVisible(bool visible) override { visibility.push_back(visible); }
    void setSocialLines(const SocialTexts::SocialLines& lines) override { written.push_back(lines); }

    std::vector<bool> visibility;
    std::vector<SocialTexts::SocialLines> written;
};
