#include "ui/controls.h"

namespace corvella::ui {

std::wstring ComboBox::ItemText(int index) const {
    const LRESULT length = SendMsg(CB_GETLBTEXTLEN, index);
    if (length == CB_ERR) return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const LRESULT copied = SendMsg(CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text.data()));
    text.resize(copied == CB_ERR ? 0 : static_cast<size_t>(copied));
    return text;
}

std::wstring TabCtrl::ItemText(int index, int max_characters) const {
    std::wstring text(static_cast<size_t>(max_characters) + 1, L'\0');
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = text.data();
    item.cchTextMax = max_characters + 1;
    if (!SendMsg(TCM_GETITEMW, index, reinterpret_cast<LPARAM>(&item))) return {};
    // The control may answer with a pointer of its own instead of copying into ours.
    return std::wstring(item.pszText ? item.pszText : L"").substr(0, max_characters);
}

void ListView::RequestItemHeight() const {
    const RECT rect = RectInParent();
    WINDOWPOS position{};
    position.hwnd = hwnd_;
    position.x = rect.left;
    position.y = rect.top;
    position.cx = rect.right - rect.left;
    position.cy = rect.bottom - rect.top;
    position.flags = SWP_NOACTIVATE | SWP_NOZORDER;
    SendMsg(WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&position));
}

}  // namespace corvella::ui
