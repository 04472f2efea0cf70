// The fit of a row's line, with a font of 10 pixels per character.
#include "results/row_fit.h"

#include <gtest/gtest.h>

namespace corvella {
namespace {

int Ten(std::u16string_view text) {
    return int(text.size()) * 10;
}

TEST(RowFit, AFittingLineRaisesTheIdealWidthALongOneIsCut) {
    LineFit fit = FitLine(u"name.txt", u"12KB", 16, 216, 100, Ten);
    EXPECT_EQ(fit.right_text, u"12KB");
    EXPECT_EQ(fit.left_right, 216);
    EXPECT_EQ(fit.ideal_width, 130);  // 80 + 40 + 10
    EXPECT_EQ(FitLine(u"name.txt", u"12KB", 16, 216, 600, Ten).ideal_width, 600);
    // Exactly the rectangle's width still fits.
    fit = FitLine(u"name.txt", u"12KB", 0, 120, 120, Ten);
    EXPECT_EQ(fit.ideal_width, 120);
    EXPECT_EQ(fit.right_text, u"12KB");
    fit = FitLine(u"a-long-file-name.txt", u"1,234KB", 16, 216, 600, Ten);
    EXPECT_EQ(fit.right_text, u"... 1,234KB");
    EXPECT_EQ(fit.left_right, 216 - 110);
    EXPECT_EQ(fit.ideal_width, 600);
}

}  // namespace
}  // namespace corvella
