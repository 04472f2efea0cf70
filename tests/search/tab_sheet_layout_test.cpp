// Where the tab sheet puts its pages.
#include "search/tab_sheet_layout.h"

#include <gtest/gtest.h>

namespace corvella {
namespace {

// A page that overlapped the row of tabs would hide the tabs' lower edge; one that reached the
// sheet's edges would paint over its frame; one turned inside out in a squeezed window would be
// moved to nonsense.
TEST(PageRect, BelowTheTabsInsideTheFrameAndNeverInsideOut) {
    EXPECT_EQ(PageRect({0, 0, 549, 92}, {2, 2, 90, 22}), (Rect{2, 23, 547, 90}));
    const Rect squeezed = PageRect({0, 0, 40, 20}, {2, 2, 90, 22});
    EXPECT_EQ(squeezed.width(), 0);
    EXPECT_EQ(squeezed.height(), 0);
    EXPECT_EQ(squeezed.left, 2);
    EXPECT_EQ(squeezed.top, 23);
}

}  // namespace
}  // namespace corvella
