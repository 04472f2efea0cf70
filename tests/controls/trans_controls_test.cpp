// The looks of the transparent check box and static text.
#include "controls/trans_controls.h"

#include <gtest/gtest.h>

namespace corvella {
namespace {

// A press shows as pressed even while the mouse is over the box; the tick is never lost to the
// hover or the press.
TEST(CheckLook, PressBeforeHoverBeforeRestForBothTicks) {
    EXPECT_EQ(CheckLookFor(false, true, true), CheckLook::UncheckedPressed);
    EXPECT_EQ(CheckLookFor(false, false, true), CheckLook::UncheckedHot);
    EXPECT_EQ(CheckLookFor(false, false, false), CheckLook::UncheckedNormal);
    EXPECT_EQ(CheckLookFor(true, true, false), CheckLook::CheckedPressed);
    EXPECT_EQ(CheckLookFor(true, false, true), CheckLook::CheckedHot);
    EXPECT_EQ(CheckLookFor(true, false, false), CheckLook::CheckedNormal);
}

// The static styles by the system's numbers. The ellipses share one field, whose word value
// holds the bits of both others; SS_SIMPLE holds the bits of both alignments. Texts wrap unless
// a style keeps them on one line.
TEST(StaticTextFormat, AlignmentsEllipsesAndWrapping) {
    constexpr uint32_t kWordBreak = 0x10, kCenter = 0x1, kRight = 0x2, kVCentreLine = 0x24;
    constexpr uint32_t kNoPrefix = 0x800, kWord = 0x40000, kEnd = 0x8000, kPath = 0x4000;
    EXPECT_EQ(StaticTextFormat(0x0), kWordBreak);            // SS_LEFT
    EXPECT_EQ(StaticTextFormat(0x1), kCenter | kWordBreak);  // SS_CENTER
    EXPECT_EQ(StaticTextFormat(0x2 | 0x80), kRight | kNoPrefix | kWordBreak);
    EXPECT_EQ(StaticTextFormat(0xB), 0u);                // SS_SIMPLE
    EXPECT_EQ(StaticTextFormat(0x200), kVCentreLine);    // SS_CENTERIMAGE
    EXPECT_EQ(StaticTextFormat(0x4000), kWord | kEnd);   // SS_ENDELLIPSIS
    EXPECT_EQ(StaticTextFormat(0x8000), kWord | kPath);  // SS_PATHELLIPSIS
    EXPECT_EQ(StaticTextFormat(0xC000), kWord);          // SS_WORDELLIPSIS
}

TEST(StaticLook, FourStylesAndTheRest) {
    EXPECT_EQ(StaticLookFor(0).colour, 0x000000u);
    EXPECT_EQ(StaticLookFor(1).colour, 0x0000FFu);  // red: the low byte
    const StaticLook link = StaticLookFor(2);
    EXPECT_TRUE(link.underline && !link.bold && link.set_colour);
    EXPECT_EQ(link.colour, 0xFF0000u);  // blue: the high byte
    EXPECT_TRUE(StaticLookFor(3).bold && !StaticLookFor(3).underline);
    EXPECT_TRUE(StaticLookFor(7).underline && !StaticLookFor(7).set_colour);
}

}  // namespace
}  // namespace corvella
