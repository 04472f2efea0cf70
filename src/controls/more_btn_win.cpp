#include "controls/more_btn_win.h"

#include "controls/icon_button_face_win.h"

namespace corvella {

void CMoreBtn::PreSubclass() {
    SetStyle((Style() & ~LONG_PTR(BS_TYPEMASK)) | BS_OWNERDRAW);
}

void CMoreBtn::SetButtonIcon(HICON icon, int icon_size, int hover_icon_size) {
    icon_ = ui::Icon(icon);
    icon_size_ = icon_size;
    hover_icon_size_ = hover_icon_size;
    if (hwnd_) Invalidate();
}

LRESULT CMoreBtn::WindowProc(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_ERASEBKGND:
            return TRUE;  // the drawing covers the button
        case WM_MOUSEMOVE:
            if (hover_.Moved(hwnd_)) Invalidate(false);
            break;
        case WM_MOUSELEAVE: {
            hover_.Left();
            // A larger icon under the mouse may have drawn where the parent shows now.
            const ui::Wnd parent(Parent());
            parent.Invalidate(RectInParent(), true);
            Invalidate(false);
            break;
        }
        case WM_DESTROY:
            icon_.Close();
            break;
    }
    return Default(message, wparam, lparam);
}

std::optional<LRESULT> CMoreBtn::OnReflected(UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_DRAWITEM) {
        Draw(*reinterpret_cast<const DRAWITEMSTRUCT*>(lparam));
        return TRUE;
    }
    return std::nullopt;  // the parent hears of the click as usual
}

void CMoreBtn::Draw(const DRAWITEMSTRUCT& item) const {
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    IconButtonFace face;
    face.bottom = RGB(236, 233, 216);
    if (pressed) {
        face.frame = FrameKind::Filled;
        face.fill = RGB(236, 233, 216);
    } else if (hover_.inside()) {
        face.frame = FrameKind::HotOutline;
        face.hot_top = RGB(236, 233, 216);
        face.hot_bottom = RGB(255, 255, 255);
    } else {
        face.frame = FrameKind::Outline;
    }
    face.icon = icon_.get();
    face.icon_size = hover_.inside() && !pressed ? hover_icon_size_ : icon_size_;
    DrawIconButton(item, face);
}

}  // namespace corvella
