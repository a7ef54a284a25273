#include "Anchoring.h"

#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <ostream>

inline void PrintTo(const QRect& r, std::ostream* os) {
    *os << '(' << r.x() << ", " << r.y() << ", " << r.width() << " x " << r.height() << ')';
}

namespace {

using namespace Anchoring;

const QSize initial(680, 480);

TEST(Anchoring, BottomLeftFramesBecomeTopLeft) {
    EXPECT_EQ(fromBottomLeft(24, 328, 128, 128, 480), QRect(24, 24, 128, 128));
    EXPECT_EQ(fromBottomLeft(24, 10, 220, 24, 480), QRect(24, 446, 220, 24));
    EXPECT_EQ(fromBottomLeft(300, 434, 360, 20, 480), QRect(300, 26, 360, 20));
}

// The window's five masks, grown to 900 x 640 and shrunk to the minimum 560 x 400.
TEST(Anchoring, MasksKeepTheirEdges) {
    const struct {
        const char* name;
        QRect frame; // at 680 x 480
        int mask;
        QSize to;
        QRect expected;
    } cases[] = {
        // 10: left and right margins (24) and the distance from the top stay.
        {"full-width line grows", {24, 152, 632, 24}, 10, {900, 640}, {24, 152, 852, 24}},
        {"full-width line shrinks", {24, 152, 632, 24}, 10, {560, 400}, {24, 152, 512, 24}},
        // 13: the margins 24 and 528 share the change 24 : 528; size and top stay.
        {"logo grows", {24, 24, 128, 128}, 13, {900, 640}, {34, 24, 128, 128}},
        {"logo shrinks", {24, 24, 128, 128}, 13, {560, 400}, {19, 24, 128, 128}},
        // 32: the distance from the bottom-left corner stays.
        {"button grows", {24, 404, 120, 36}, 32, {900, 640}, {24, 564, 120, 36}},
        {"button shrinks", {24, 404, 120, 36}, 32, {560, 400}, {24, 324, 120, 36}},
        // 33: the distance from the bottom-right corner stays.
        {"stepper grows", {590, 410, 32, 26}, 33, {900, 640}, {810, 570, 32, 26}},
        {"stepper shrinks", {590, 410, 32, 26}, 33, {560, 400}, {470, 330, 32, 26}},
        // 9: the distance from the top-right corner stays.
        {"banner grows", {300, 26, 360, 20}, 9, {900, 640}, {520, 26, 360, 20}},
        {"banner shrinks", {300, 26, 360, 20}, 9, {560, 400}, {180, 26, 360, 20}},
        {"unchanged size", {24, 24, 128, 128}, 13, {680, 480}, {24, 24, 128, 128}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(resized(c.frame, c.mask, initial, c.to), c.expected) << c.name;
}

TEST(Anchoring, AxisWithoutFlexiblePartStaysAtTheBottomLeft) {
    // AppKit's frames have their origin at the bottom left: mask 0 keeps that distance.
    EXPECT_EQ(resized({10, 400, 50, 20}, 0, initial, {780, 500}), QRect(10, 420, 50, 20));
}

TEST(Anchoring, FlexibleHeightAndSizesNeverNegative) {
    EXPECT_EQ(resized({0, 0, 680, 480}, FlexibleWidth | FlexibleHeight, initial, {700, 500}),
              QRect(0, 0, 700, 500));
    const QRect squeezed = resized({24, 10, 632, 20}, 10, initial, {20, 480});
    EXPECT_GE(squeezed.width(), 0);
}

} // namespace
