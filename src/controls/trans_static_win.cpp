#include "controls/trans_static_win.h"

#include "controls/gradient_win.h"
#include "controls/trans_controls.h"
#include "ui/gdi.h"

namespace corvella {

void CTransStatic::SetTextStyle(int text_style) {
    text_style_ = text_style;
    if (hwnd_) Invalidate(false);
}

LRESULT CTransStatic::WindowProc(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_ERASEBKGND:
            return TRUE;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            const HDC dc = BeginPaint(hwnd_, &paint);
            Paint(dc);
            EndPaint(hwnd_, &paint);
            return 0;
        }
        case WM_SETTEXT:
        case WM_ENABLE: {
            // A static draws its new text at once, in its own way: it is painted again after.
            const LRESULT result = Default(message, wparam, lparam);
            Invalidate(false);
            return result;
        }
    }
    return Default(message, wparam, lparam);
}

void CTransStatic::Paint(HDC dc) const {
    const ui::SavedDc saved(dc);
    PaintParentBackground(hwnd_, dc);

    RECT client = ClientRect();
    const std::wstring text = Text();
    LOGFONTW logical{};
    HFONT base = Font();
    if (!base) base = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    GetObjectW(base, sizeof logical, &logical);
    const StaticLook look = StaticLookFor(text_style_);
    if (look.underline) logical.lfUnderline = TRUE;
    if (look.bold) logical.lfWeight = FW_BOLD;
    const ui::Font font(CreateFontIndirectW(&logical));
    const ui::Selected selected(dc, font.get());
    SetBkMode(dc, TRANSPARENT);
    if (look.set_colour) SetTextColor(dc, look.colour);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &client,
              StaticTextFormat(static_cast<uint32_t>(Style())));
}

}  // namespace corvella
