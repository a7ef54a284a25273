#include "Anchoring.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace Anchoring {

namespace {

struct Span {
    int start = 0;
    int length = 0;
};

// One axis: the parts are the near margin, the control and the far margin, in that order.
Span resizeAxis(int start, int length, int from, int to, std::array<bool, 3> flexible) {
    const int change = to - from;
    const std::array<int, 3> parts{start, length, from - start - length};
    double flexibleTotal = 0;
    int flexibleCount = 0;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (flexible[i]) {
            flexibleTotal += std::max(parts[i], 0);
            ++flexibleCount;
        }
    }
    std::array<double, 3> share{};
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (!flexible[i])
            continue;
        share[i] = flexibleTotal > 0 ? change * std::max(parts[i], 0) / flexibleTotal
                                     : static_cast<double>(change) / flexibleCount;
    }
    // Both edges are rounded on their own so that a control's edges never drift apart by more
    // than the rounding of one of them.
    const int newStart = static_cast<int>(std::lround(start + share[0]));
    const int newEnd = static_cast<int>(std::lround(start + length + share[0] + share[1]));
    return {newStart, std::max(newEnd - newStart, 0)};
}

} // namespace

QRect fromBottomLeft(int x, int y, int width, int height, int contentHeight) {
    return {x, contentHeight - (y + height), width, height};
}

QRect resized(const QRect& frame, int mask, QSize from, QSize to) {
    // A control with no flexible part on an axis stays put relative to the bottom-left corner,
    // the origin the frames are given in: its right and top margins absorb the change.
    if ((mask & (FlexibleLeftMargin | FlexibleWidth | FlexibleRightMargin)) == 0)
        mask |= FlexibleRightMargin;
    if ((mask & (FlexibleBottomMargin | FlexibleHeight | FlexibleTopMargin)) == 0)
        mask |= FlexibleTopMargin;
    const Span horizontal = resizeAxis(
        frame.x(), frame.width(), from.width(), to.width(),
        {(mask & FlexibleLeftMargin) != 0, (mask & FlexibleWidth) != 0, (mask & FlexibleRightMargin) != 0});
    // The window's top is the near edge here; the mask names margins as seen on screen.
    const Span vertical = resizeAxis(
        frame.y(), frame.height(), from.height(), to.height(),
        {(mask & FlexibleTopMargin) != 0, (mask & FlexibleHeight) != 0, (mask & FlexibleBottomMargin) != 0});
    return {horizontal.start, vertical.start, horizontal.length, vertical.length};
}

} // namespace Anchoring
