// The look shared by the program's icon buttons (the overflow button and the quick buttons): a
// vertical gradient, a rounded frame by state, an icon centred near the top and the caption on one
// line at the bottom, drawn off screen and copied in one go so the button never flickers.
#pragma once

#include <windows.h>

namespace corvella {

enum class FrameKind {
    None,        // the gradient alone
    Outline,     // a rounded outline
    Filled,      // a rounded rectangle filled with `fill`
    HotOutline,  // a second gradient, from `hot_top` to `hot_bottom`, under a rounded outline
};

struct IconButtonFace {
    COLORREF top = RGB(255, 255, 255);
    COLORREF bottom = RGB(226, 224, 220);
    FrameKind frame = FrameKind::None;
    COLORREF fill = RGB(236, 233, 216);
    COLORREF hot_top = RGB(254, 224, 208);
    COLORREF hot_bottom = RGB(255, 255, 255);
    HICON icon = nullptr;  // none: the caption alone, below the icon's empty place
    int icon_size = 0;
};

inline constexpr COLORREF kButtonFrameColour = RGB(172, 168, 153);

// Draws the owner-drawn button of `item` with `face`, its caption the button's text in its font.
void DrawIconButton(const DRAWITEMSTRUCT& item, const IconButtonFace& face);

}  // namespace corvella
