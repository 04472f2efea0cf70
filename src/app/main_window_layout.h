// Where the main window's controls go when the window is resized.
//
// Everything grows in width by as much as the window did; only the results list grows in height,
// down to the status line, which sits on the bottom edge. The pattern box and the location box
// share the width change, and the Browse and Search buttons follow the location box's right
// edge, Search directly against Browse. The window never gets smaller than it started.
//
// Rectangles of controls are in client coordinates, those of the window in screen coordinates.
#pragma once

namespace corvella {

struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool operator==(const Rect&) const = default;
};

struct MainWindowControls {
    Rect status_line;
    Rect results_list;
    Rect tab;
    Rect quick_page;
    Rect criteria_page;  // size and date
    Rect advanced_page;
    Rect pattern_box;
    Rect location_box;
    Rect browse_button;
    Rect search_button;
    bool operator==(const MainWindowControls&) const = default;
};

// The window's outer rectangle at its place, each side at least as long as at start-up.
Rect SnapToMinimumSize(const Rect& outer, int initial_width, int initial_height);

// The controls' new rectangles after the outer rectangle went from `last_outer` to `outer`;
// `client_height` is the client area's height now.
MainWindowControls ResizeControls(const MainWindowControls& controls, const Rect& outer,
                                  const Rect& last_outer, int client_height);

}  // namespace corvella
