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

}  // namespace corvella
