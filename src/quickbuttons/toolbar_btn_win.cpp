#include "quickbuttons/toolbar_btn_win.h"

#include <string>

#include "controls/icon_button_face_win.h"

namespace corvella {

HICON LoadIconFile(const std::wstring& path, int size) {
    // Only a plain file: a device or a pipe named in a damaged settings file could block the
    // read that would find it is no icon.
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) ||
        path.starts_with(L"\\\\.\\"))
        return nullptr;
    return static_cast<HICON>(
        LoadImageW(nullptr, path.c_str(), IMAGE_ICON, size, size, LR_LOADFROMFILE));
}

bool CToolbarBtn::Create(HWND parent, const wchar_t* text, int id, HFONT font) {
    const HWND button =
        CreateWindowExW(0, L"BUTTON", text, WS_CHILD | BS_OWNERDRAW, 0, 0, 0, 0, parent,
                        reinterpret_cast<HMENU>(INT_PTR(id)), GetModuleHandleW(nullptr), nullptr);
    if (!button) return false;
    if (!Subclass(button)) {
        DestroyWindow(button);
        return false;
    }
    SetFont(font, false);
    return true;
}

void CToolbarBtn::Destroy() {
    if (const HWND button = hwnd_) {
        Unsubclass();
        DestroyWindow(button);
    }
}

void CToolbarBtn::SetIcons(HICON normal, int normal_size, HICON hover, int hover_size) {
    normal_ = ui::Icon(normal);
    hover_ = ui::Icon(hover);
    normal_size_ = normal_size;
    hover_size_ = hover_size;
    if (hwnd_) Invalidate(false);
}

LRESULT CToolbarBtn::WindowProc(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_ERASEBKGND:
            return TRUE;
        case WM_LBUTTONDBLCLK:
            // A double click is two clicks: each runs the search.
            message = WM_LBUTTONDOWN;
            break;
        case WM_MOUSEMOVE:
            if (hot_.Moved(hwnd_)) Invalidate(false);
            break;
        case WM_MOUSELEAVE: {
            hot_.Left();
            ui::Wnd(Parent()).Invalidate(RectInParent(), true);
            Invalidate(false);
            break;
        }
    }
    return Default(message, wparam, lparam);
}

std::optional<LRESULT> CToolbarBtn::OnReflected(UINT message, WPARAM wparam, LPARAM lparam) {
    if (message != WM_DRAWITEM) return std::nullopt;
    const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lparam);
    const bool selected = (item.itemState & ODS_SELECTED) != 0;
    IconButtonFace face;  // white to RGB(226,224,220)
    if (selected) {
        face.frame = FrameKind::Filled;
    } else if (hot_.inside()) {
        face.frame = FrameKind::HotOutline;
    }
    const bool large = hot_.inside() && !selected;
    face.icon = large ? hover_.get() : normal_.get();
    face.icon_size = large ? hover_size_ : normal_size_;
    DrawIconButton(item, face);
    return TRUE;
}

}  // namespace corvella
