#include "search/tab_sheet_layout.h"

#include <algorithm>

namespace corvella {

Rect PageRect(const Rect& client, const Rect& first_tab) {
    const int left = first_tab.left, top = first_tab.bottom + 1;
    // A sheet squeezed below the height of its tabs has no room for a page: an empty rectangle
    // there, not one turned inside out.
    return {left, top, std::max(left, client.right - 2), std::max(top, client.bottom - 2)};
}

}  // namespace corvella
