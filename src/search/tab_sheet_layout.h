// Where the tab sheet puts its pages: below the row of tabs, inside the sheet's frame.
#pragma once

#include "app/main_window_layout.h"

namespace corvella {

// The rectangle of every page, in the sheet's client coordinates, from the sheet's client
// rectangle and the rectangle of its first tab: from the first tab's left edge, one pixel below
// the tabs, to two pixels inside the right and bottom edges. Never negative in size.
Rect PageRect(const Rect& client, const Rect& first_tab);

}  // namespace corvella
