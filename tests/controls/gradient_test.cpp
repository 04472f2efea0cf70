// Gradient strips, channel by channel.
#include "controls/gradient.h"

#include <gtest/gtest.h>

namespace corvella {
namespace {

TEST(Gradient, ChannelsMoveInProportionTruncatedTowardZero) {
    const Colour white = Rgb(255, 255, 255), grey = Rgb(226, 224, 220);
    EXPECT_EQ(GradientStripColour(white, grey, 0, 10), white);
    EXPECT_EQ(GradientStripColour(white, grey, 9, 10), Rgb(229, 228, 224));
    // Falling channels truncate toward zero, so they round up, not down.
    EXPECT_EQ(GradientStripColour(white, grey, 1, 3), Rgb(246, 245, 244));
    EXPECT_EQ(GradientStripColour(grey, white, 1, 3), Rgb(235, 234, 231));
    EXPECT_EQ(Rgb(49, 106, 197), 0x00C56A31u);  // the byte order of a COLORREF
}

}  // namespace
}  // namespace corvella
