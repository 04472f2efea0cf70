// The main window's resize rules over a start-up layout with a gap between Browse and Search.
#include "app/main_window_layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

namespace corvella {
namespace {

constexpr int kInitialWidth = 640, kInitialHeight = 480;

MainWindowControls StartUp() {
    MainWindowControls c;
    c.pattern_box = {10, 10, 210, 30};
    c.location_box = {210, 10, 410, 30};
    c.browse_button = {410, 10, 480, 30};
    c.search_button = {490, 10, 560, 30};  // 10 pixels from Browse
    c.tab = {10, 40, 620, 140};
    c.quick_page = {12, 60, 618, 138};
    c.criteria_page = {12, 60, 618, 138};
    c.advanced_page = {12, 60, 618, 138};
    c.results_list = {10, 150, 620, 420};
    c.status_line = {10, 420, 620, 440};
    return c;
}

Rect Outer(int width, int height) {
    return {100, 50, 100 + width, 50 + height};
}

TEST(MainWindowLayout, TheWindowSnapsToItsStartUpSizeOnlyWhereItIsSmaller) {
    for (const auto& [w, h] : {std::pair{500, 300}, {900, 300}, {500, 700}, {900, 700}})
        EXPECT_EQ(SnapToMinimumSize(Outer(w, h), kInitialWidth, kInitialHeight),
                  Outer(std::max(w, kInitialWidth), std::max(h, kInitialHeight)));
}

TEST(MainWindowLayout, AnOddWidthChangeGivesEachBoxTheTruncatedHalfAndTheButtonsFollow) {
    const MainWindowControls to = ResizeControls(StartUp(), Outer(kInitialWidth + 101, 600),
                                                 Outer(kInitialWidth, kInitialHeight), 560);
    EXPECT_EQ(to.pattern_box, (Rect{10, 10, 260, 30}));
    EXPECT_EQ(to.location_box, (Rect{260, 10, 510, 30}));
    EXPECT_EQ(to.browse_button, (Rect{510, 10, 580, 30}));
    EXPECT_EQ(to.search_button, (Rect{580, 10, 650, 30}));  // against Browse from now on
    // The full change for everything as wide as the window; only the list grows in height.
    EXPECT_EQ(to.tab, (Rect{10, 40, 721, 140}));
    EXPECT_EQ(to.quick_page, (Rect{12, 60, 719, 138}));
    EXPECT_EQ(to.criteria_page, to.quick_page);
    EXPECT_EQ(to.advanced_page, to.quick_page);
    EXPECT_EQ(to.status_line, (Rect{10, 540, 721, 560}));
    EXPECT_EQ(to.results_list, (Rect{10, 150, 721, 540}));
    // Narrowing truncates toward zero too.
    const MainWindowControls back =
        ResizeControls(to, Outer(kInitialWidth + 50, 500), Outer(kInitialWidth + 101, 600), 460);
    EXPECT_EQ(back.pattern_box.right, 260 - 25);
    EXPECT_EQ(back.location_box, (Rect{235, 10, 460, 30}));
    EXPECT_EQ(back.search_button.left, back.browse_button.right);
    EXPECT_EQ(back.status_line, (Rect{10, 440, 670, 460}));
    EXPECT_EQ(back.results_list.bottom, 440);
}

}  // namespace
}  // namespace corvella
