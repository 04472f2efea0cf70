#include "controls/gradient_win.h"

namespace corvella {

void FillSolid(HDC dc, const RECT& rect, COLORREF colour) {
    SetBkColor(dc, colour);
    ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);
}

void FillVerticalGradient(HDC dc, const RECT& rect, COLORREF top, COLORREF bottom) {
    const int height = rect.bottom - rect.top;
    for (int y = 0; y < height; ++y) {
        const RECT strip{rect.left, rect.top + y, rect.right, rect.top + y + 2};
        FillSolid(dc, strip, GradientStripColour(top, bottom, y, height));
    }
}

void PaintParentBackground(HWND control, HDC dc) {
    const HWND parent = GetParent(control);
    if (!parent) return;
    POINT origin{0, 0};
    MapWindowPoints(control, parent, &origin, 1);
    POINT old{};
    OffsetViewportOrgEx(dc, -origin.x, -origin.y, &old);
    SendMessageW(parent, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    SetViewportOrgEx(dc, old.x, old.y, nullptr);
}

}  // namespace corvella
