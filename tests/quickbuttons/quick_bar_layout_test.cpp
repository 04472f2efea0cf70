// The quick-button bar's arithmetic: which buttons show, which go to the overflow menu, and where
// the overflow button goes.
#include "quickbuttons/quick_bar_layout.h"

#include <gtest/gtest.h>

namespace corvella {
namespace {

TEST(QuickBarLayout, ButtonsThatLeaveNoRoomForTheOverflowButtonGoToTheMenu) {
    // 200 pixels, 4 buttons: 0 + 85 and 60 + 85 are below 200; 120 + 85 is not, and 180 + 60
    // does not fit even as the last.
    const QuickBarLayout layout = LayoutQuickBar(0, 200, 4, QuickBarMetrics{});
    EXPECT_EQ(layout.x, (std::vector<int>{0, 60, 120, 180}));
    EXPECT_EQ(layout.shown, (std::vector<bool>{true, true, false, false}));
    EXPECT_EQ(layout.overflow, (std::vector<int>{2, 3}));
    EXPECT_TRUE(layout.overflow_shown);
    EXPECT_EQ(layout.overflow_x, 182);
    EXPECT_EQ(layout.overflow_width, 18);
    EXPECT_EQ(layout.overflow_height, 20);
}

TEST(QuickBarLayout, TheLastButtonOnlyHasToFitItself) {
    const QuickBarLayout fits = LayoutQuickBar(0, 190, 3, QuickBarMetrics{});
    EXPECT_EQ(fits.shown, (std::vector<bool>{true, true, true}));
    EXPECT_FALSE(fits.overflow_shown);
    EXPECT_EQ(fits.overflow_x, 165);  // hidden, 25 x 25
    // Exactly at the edge is not inside it: the comparisons are strict.
    EXPECT_EQ(LayoutQuickBar(0, 180, 3, QuickBarMetrics{}).overflow, (std::vector<int>{2}));
    EXPECT_EQ(LayoutQuickBar(0, 120, 2, QuickBarMetrics{}).overflow, (std::vector<int>{1}));
}

TEST(QuickBarLayout, NoButtonsHideTheOverflowButton) {
    const QuickBarLayout layout = LayoutQuickBar(10, 500, 0, QuickBarMetrics{});
    EXPECT_TRUE(layout.x.empty());
    EXPECT_FALSE(layout.overflow_shown);
    // A page narrower than one button puts even a lone button into the menu.
    EXPECT_EQ(LayoutQuickBar(0, 40, 1, QuickBarMetrics{}).overflow, (std::vector<int>{0}));
}

TEST(QuickBarLayout, ScaledMetricsKeepTheRuleAtAnyScale) {
    const QuickBarMetrics m = ScaledQuickBarMetrics(144);
    EXPECT_EQ(m.button, 90);
    EXPECT_EQ(m.overflow_room, 38);
    EXPECT_EQ(m.icon, 56);
    EXPECT_EQ(m.hover_icon, 60);
    // At 150% a 300-pixel page holds what a 200-pixel one does at 100%.
    EXPECT_EQ(LayoutQuickBar(0, 300, 4, m).overflow, (std::vector<int>{2, 3}));
}

}  // namespace
}  // namespace corvella
