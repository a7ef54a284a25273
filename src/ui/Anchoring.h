#pragma once

#include <QRect>
#include <QSize>

/// How a control follows its window when the window is resized: each flag names a part of the
/// control's surroundings that may stretch. Parts not flagged keep their length. All frames are in the
/// window's top-left coordinates, in logical pixels.
namespace Anchoring {

enum Flag : int {
    FlexibleLeftMargin = 1,
    FlexibleWidth = 2,
    FlexibleRightMargin = 4,
    FlexibleBottomMargin = 8,
    FlexibleHeight = 16,
    FlexibleTopMargin = 32,
};

/// A frame given with its origin at the bottom-left corner of a content area \a contentHeight
/// high, as a Qt rectangle whose top is contentHeight - (y + height).
QRect fromBottomLeft(int x, int y, int width, int height, int contentHeight);

/// Where a control that has \a frame in a content area of \a from lies once the area is \a to.
/// On each axis the change is shared by the flexible parts in proportion to their lengths in
/// \a frame (equally when all of them are 0). An axis with no flexible part keeps the control's
/// distance from the bottom-left corner.
/// Widths and heights never go below 0.
QRect resized(const QRect& frame, int mask, QSize from, QSize to);

} // namespace Anchoring
