#include "controls/icon_button_face_win.h"

#include <commctrl.h>

#include <string>

#include "controls/gradient_win.h"
#include "ui/gdi.h"
#include "ui/wnd.h"

namespace corvella {

namespace {

// Drawn through a one-image list, which scales the icon to `size` and keeps its alpha.
void DrawIconAt(HDC dc, HICON icon, int x, int y, int size) {
    const HIMAGELIST list = ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, 1, 0);
    if (!list) return;
    if (ImageList_AddIcon(list, icon) >= 0) ImageList_Draw(list, 0, dc, x, y, ILD_TRANSPARENT);
    ImageList_Destroy(list);
}

}  // namespace

void DrawIconButton(const DRAWITEMSTRUCT& item, const IconButtonFace& face) {
    const RECT& r = item.rcItem;
    const int width = r.right - r.left, height = r.bottom - r.top;
    if (width <= 0 || height <= 0) return;
    ui::SavedDc saved(item.hDC);
    ui::MemoryDc memory(item.hDC);
    ui::Bitmap bitmap(CreateCompatibleBitmap(item.hDC, width, height));
    if (!memory || !bitmap) return;
    const RECT area{0, 0, width, height};
    const ui::Wnd button(item.hwndItem);
    {
        ui::Selected with_bitmap(memory.get(), bitmap.get());
        ui::Selected with_font(memory.get(), button.Font() ? button.Font()
                                                           : GetStockObject(DEFAULT_GUI_FONT));
        FillVerticalGradient(memory.get(), area, face.top, face.bottom);
        if (face.frame != FrameKind::None) {
            if (face.frame == FrameKind::HotOutline)
                FillVerticalGradient(memory.get(), area, face.hot_top, face.hot_bottom);
            ui::Pen pen = ui::SolidPen(1, kButtonFrameColour);
            ui::Brush fill = ui::SolidBrush(face.fill);
            ui::Selected with_pen(memory.get(), pen.get());
            ui::Selected with_brush(memory.get(), face.frame == FrameKind::Filled
                                                      ? static_cast<HGDIOBJ>(fill.get())
                                                      : GetStockObject(NULL_BRUSH));
            RoundRect(memory.get(), 0, 0, width, height, 5, 5);
        }
        if (face.icon && face.icon_size > 0)
            DrawIconAt(memory.get(), face.icon, (width - face.icon_size) / 2, 5, face.icon_size);
        std::wstring caption = button.Text();
        RECT text{0, face.icon_size + 2, width, height - 2};
        SetBkMode(memory.get(), TRANSPARENT);
        SetTextColor(memory.get(), GetSysColor(COLOR_BTNTEXT));
        DrawTextW(memory.get(), caption.c_str(), -1, &text,
                  DT_SINGLELINE | DT_CENTER | DT_BOTTOM | DT_NOPREFIX | DT_END_ELLIPSIS);
        BitBlt(item.hDC, r.left, r.top, width, height, memory.get(), 0, 0, SRCCOPY);
    }
}

}  // namespace corvella
