#include "controls/trans_check_win.h"

#include <vssym32.h>

#include "controls/gradient_win.h"
#include "controls/trans_controls.h"
#include "ui/dpi.h"
#include "ui/gdi.h"

namespace corvella {

namespace {

// The box, at 96 dots per inch: 16 pixels wide from one pixel left of the control, 15 high,
// centred vertically.
constexpr int kBoxWidth = 16, kBoxHeight = 15;

}  // namespace

CTransCheck::~CTransCheck() {
    CloseTheme();
}

void CTransCheck::SetChecked(bool checked) {
    checked_ = checked ? 1 : 0;
    if (hwnd_) Invalidate(false);
}

void CTransCheck::PreSubclass() {
    SetStyle((Style() & ~LONG_PTR(BS_TYPEMASK)) | BS_OWNERDRAW);
    OpenTheme();
}

void CTransCheck::OpenTheme() {
    theme_ = OpenThemeData(hwnd_, L"Button");
}

void CTransCheck::CloseTheme() {
    if (theme_) CloseThemeData(theme_);
    theme_ = nullptr;
}

std::optional<LRESULT> CTransCheck::OnReflected(UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_DRAWITEM) {
        Draw(*reinterpret_cast<const DRAWITEMSTRUCT*>(lparam));
        return TRUE;
    }
    // The tick changes first; the dialog's own handler then reads the new state.
    if (message == WM_COMMAND && HIWORD(wparam) == BN_CLICKED) {
        checked_ = checked_ == 1 ? 0 : 1;
        Invalidate(false);
    }
    if (message == WM_NOTIFY && reinterpret_cast<const NMHDR*>(lparam)->code == NM_THEMECHANGED) {
        CloseTheme();
        OpenTheme();
        Invalidate(false);
        return 0;
    }
    return std::nullopt;
}

LRESULT CTransCheck::WindowProc(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_ERASEBKGND:
            // The drawing puts the parent's background under the box and caption itself.
            SetBkMode(reinterpret_cast<HDC>(wparam), TRANSPARENT);
            return TRUE;
        case WM_THEMECHANGED:
            CloseTheme();
            OpenTheme();
            Invalidate(false);
            return 0;
        case WM_MOUSEMOVE:
            if (hover_.Moved(hwnd_)) Invalidate(false);
            break;
        case WM_MOUSELEAVE:
            hover_.Left();
            Invalidate(false);
            break;
        case BM_GETCHECK:
            return checked_ == 1 ? BST_CHECKED : BST_UNCHECKED;
        case BM_SETCHECK:
            SetChecked(wparam == BST_CHECKED);
            return 0;
        case WM_DESTROY:
            CloseTheme();
            break;
    }
    return Default(message, wparam, lparam);
}

void CTransCheck::Draw(const DRAWITEMSTRUCT& item) const {
    const HDC dc = item.hDC;
    const ui::SavedDc saved(dc);
    const RECT r = item.rcItem;
    PaintParentBackground(hwnd_, dc);
    SetBkMode(dc, TRANSPARENT);

    const int dpi = ui::DpiOf(hwnd_);
    const int width = ui::ScaleForDpi(kBoxWidth, dpi), height = ui::ScaleForDpi(kBoxHeight, dpi);
    RECT box{-1, (r.bottom - r.top - height) / 2, 0, 0};
    box.right = box.left + width;
    box.bottom = box.top + height;
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    if (theme_) {
        DrawThemeBackground(theme_, dc, BP_CHECKBOX,
                            static_cast<int>(CheckLookFor(checked_ == 1, pressed, hover_.inside())),
                            &box, nullptr);
    } else {
        DrawFrameControl(dc, &box, DFC_BUTTON,
                         DFCS_BUTTONCHECK | (checked_ > 0 ? DFCS_CHECKED : 0));
    }

    wchar_t text[256] = {};
    const int length = GetWindowTextW(hwnd_, text, 256);
    RECT caption{box.right + 2, r.top, r.right, r.bottom};
    SelectObject(dc, Font());
    SetTextColor(dc, GetSysColor(IsEnabled() ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
    DrawTextW(dc, text, length, &caption, DT_SINGLELINE | DT_VCENTER | DT_LEFT);
    if ((item.itemState & ODS_FOCUS) && !(item.itemState & ODS_NOFOCUSRECT)) {
        // Where the keyboard is: around the caption as it was drawn.
        RECT used = caption;
        DrawTextW(dc, text, length, &used, DT_SINGLELINE | DT_LEFT | DT_CALCRECT);
        const int text_height = used.bottom - used.top;
        used.top = caption.top + (caption.bottom - caption.top - text_height) / 2;
        used.bottom = used.top + text_height;
        InflateRect(&used, 1, 0);
        DrawFocusRect(dc, &used);
    }
}

}  // namespace corvella
