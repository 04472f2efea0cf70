#include "quickbuttons/quick_bar_layout.h"

namespace corvella {

namespace {

int Scale(int pixels, int dpi) {
    return (pixels * dpi + 48) / 96;
}

}  // namespace

QuickBarMetrics ScaledQuickBarMetrics(int dpi) {
    const QuickBarMetrics at96;
    QuickBarMetrics m;
    m.button = Scale(at96.button, dpi);
    m.overflow_room = Scale(at96.overflow_room, dpi);
    m.overflow_width = Scale(at96.overflow_width, dpi);
    m.overflow_height = Scale(at96.overflow_height, dpi);
    m.icon = Scale(at96.icon, dpi);
    m.hover_icon = Scale(at96.hover_icon, dpi);
    m.overflow_icon = Scale(at96.overflow_icon, dpi);
    return m;
}

QuickBarLayout LayoutQuickBar(int left, int right, int count, const QuickBarMetrics& metrics) {
    QuickBarLayout layout;
    int x = left;
    for (int i = 0; i < count; ++i) {
        const bool last = i == count - 1;
        // Once one button has gone to the menu, the later ones follow it even when the last
        // would fit on its own: the menu keeps the order of the bar.
        const bool fits = layout.overflow.empty() &&
                          (x + metrics.button + metrics.overflow_room < right ||
                           (last && x + metrics.button < right));
        layout.x.push_back(x);
        layout.shown.push_back(fits);
        if (!fits) layout.overflow.push_back(i);
        x += metrics.button;
    }
    layout.overflow_shown = !layout.overflow.empty();
    if (layout.overflow_shown) {
        layout.overflow_width = metrics.overflow_width;
        layout.overflow_height = metrics.overflow_height;
    } else {
        layout.overflow_width = layout.overflow_height = metrics.overflow_room;
    }
    layout.overflow_x = right - layout.overflow_width;
    return layout;
}

}  // namespace corvella
