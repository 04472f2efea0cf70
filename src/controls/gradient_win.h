// The fills the owner-drawn controls paint with: solid, and the vertical gradient whose strip
// colours gradient.h works out.
#pragma once

#include <windows.h>

#include "controls/gradient.h"

namespace corvella {

// Fills `rect` with `colour`. As a solid fill does, the text background takes the colour.
void FillSolid(HDC dc, const RECT& rect, COLORREF colour);
// Fills `rect` from `top` at its upper edge to `bottom` at its lower edge, strip by strip.
void FillVerticalGradient(HDC dc, const RECT& rect, COLORREF top, COLORREF bottom);

// The background of the program's own dialogs (the tab pages, the quick-button editors, the
// welcome and about boxes): white at the top to a warm light grey at the bottom.
constexpr COLORREF kDialogTop = RGB(255, 255, 255);
constexpr COLORREF kDialogBottom = RGB(226, 224, 220);
inline void FillDialogBackground(HDC dc, const RECT& client) {
    FillVerticalGradient(dc, client, kDialogTop, kDialogBottom);
}
// Has the parent of `control` erase its background into `dc`, the control's own device context,
// as it lies under the control: a control drawn over it looks transparent, and repainting it
// alone never draws its text over its last picture.
void PaintParentBackground(HWND control, HDC dc);

}  // namespace corvella
