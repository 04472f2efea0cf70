// The fit of a row's line, with a font of 10 pixels per character.
#include "results/row_fit.h"

#include <gtest/gtest.h>

namespace corvella {
namespace {

int TenPerCharacter(std::u16string_view text) {
    return int(text.size()) * 10;
}

TEST(RowFit, ALineThatFitsKeepsItsTextsAndRaisesTheIdealWidthWithAMargin) {
    const LineFit fit = FitLine(u"name.txt", u"12KB", 16, 216, 100, TenPerCharacter);
    EXPECT_EQ(fit.right_text, u"12KB");
    EXPECT_EQ(fit.left_right, 216);
    EXPECT_EQ(fit.ideal_width, 130);  // 80 + 40 + 10
    // A wider ideal width stays as it is.
    EXPECT_EQ(FitLine(u"name.txt", u"12KB", 16, 216, 600, TenPerCharacter).ideal_width, 600);
    // Exactly the ideal width raises nothing; exactly the rectangle's width still fits.
    const LineFit exact = FitLine(u"name.txt", u"12KB", 0, 120, 120, TenPerCharacter);
    EXPECT_EQ(exact.ideal_width, 120);
    EXPECT_EQ(exact.right_text, u"12KB");
}

TEST(RowFit, ALineTooLongMarksTheRightTextAndCutsTheLeftWhereItBegins) {
    const LineFit fit = FitLine(u"a-long-file-name.txt", u"1,234KB", 16, 216, 600, TenPerCharacter);
    EXPECT_EQ(fit.right_text, u"... 1,234KB");
    EXPECT_EQ(fit.left_right, 216 - 110);
    EXPECT_EQ(fit.ideal_width, 600);
}

}  // namespace
}  // namespace corvella
