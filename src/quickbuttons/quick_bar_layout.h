// Where the quick buttons go on their page. Buttons stand side by side from the left edge; one
// is shown only while room for the overflow button remains to its right, except the last, which
// only has to fit itself. The others (and once one has gone, every one after it) go into the
// overflow menu, whose button then shows at the right edge.
#pragma once

#include <vector>

namespace corvella {

// Pixel sizes, at 96 dots per inch unless scaled.
struct QuickBarMetrics {
    int button = 60;          // width and height of a quick button
    int overflow_room = 25;   // kept free to the right of every shown button but the last
    int overflow_width = 18;  // the overflow button while it shows
    int overflow_height = 20;
    int icon = 37;            // a button's icon, and its larger one under the mouse
    int hover_icon = 40;
    int overflow_icon = 16;
};

// The metrics for a window at `dpi` dots per inch, rounded to the nearest pixel.
QuickBarMetrics ScaledQuickBarMetrics(int dpi);

struct QuickBarLayout {
    std::vector<int> x;        // left edge of each button; every button has one, shown or not
    std::vector<bool> shown;
    std::vector<int> overflow; // indices of the buttons in the overflow menu, in order
    int overflow_x = 0;        // the overflow button: shown only when the menu has entries
    int overflow_width = 0;
    int overflow_height = 0;
    bool overflow_shown = false;
};

// `count` buttons on a page whose client area runs from `left` to `right`.
QuickBarLayout LayoutQuickBar(int left, int right, int count, const QuickBarMetrics& metrics);

}  // namespace corvella
