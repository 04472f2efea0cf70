#include "app/main_window_layout.h"

namespace corvella {

namespace {

Rect Wider(Rect r, int by) {
    r.right += by;
    return r;
}

Rect MovedTo(const Rect& r, int left, int top) {
    return {left, top, left + r.width(), top + r.height()};
}

}  // namespace

Rect SnapToMinimumSize(const Rect& outer, int initial_width, int initial_height) {
    const int width = outer.width() > initial_width ? outer.width() : initial_width;
    const int height = outer.height() > initial_height ? outer.height() : initial_height;
    return {outer.left, outer.top, outer.left + width, outer.top + height};
}

MainWindowControls ResizeControls(const MainWindowControls& controls, const Rect& outer,
                                  const Rect& last_outer, int client_height) {
    const int dw = outer.width() - last_outer.width();
    MainWindowControls to;

    to.status_line = Wider(MovedTo(controls.status_line, controls.status_line.left,
                                   client_height - controls.status_line.height()),
                           dw);
    to.results_list = Wider(controls.results_list, dw);
    to.results_list.bottom = to.status_line.top;

    to.tab = Wider(controls.tab, dw);
    to.quick_page = Wider(controls.quick_page, dw);
    to.criteria_page = Wider(controls.criteria_page, dw);
    to.advanced_page = Wider(controls.advanced_page, dw);

    const int half = dw / 2;  // truncated toward zero: a pixel of an odd change goes to neither box
    to.pattern_box = Wider(controls.pattern_box, half);
    to.location_box = Wider(
        MovedTo(controls.location_box, to.pattern_box.right, controls.location_box.top), half);
    to.browse_button =
        MovedTo(controls.browse_button, to.location_box.right, controls.browse_button.top);
    to.search_button =
        MovedTo(controls.search_button, to.browse_button.right, controls.search_button.top);
    return to;
}

}  // namespace corvella
