#include "search/option_page_win.h"

#include "controls/gradient_win.h"

namespace corvella {

bool OptionPage::PreTranslateMessage(MSG& message) {
    const UINT m = message.message;
    if (m != WM_KEYDOWN && m != WM_KEYUP && m != WM_CHAR && m != WM_SYSKEYDOWN &&
        m != WM_SYSKEYUP && m != WM_SYSCHAR)
        return false;
    // The character of Enter is '\r', its key VK_RETURN: the same number.
    if (message.wParam == VK_RETURN) return true;
    if (m == WM_KEYDOWN && message.wParam == VK_ESCAPE) {
        PostMessageW(GetAncestor(hwnd_, GA_ROOT), WM_SYSCOMMAND, SC_CLOSE, 0);
        return true;
    }
    return false;
}

std::optional<LRESULT> OptionPage::OnMessage(UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_ERASEBKGND) {
        FillVerticalGradient(reinterpret_cast<HDC>(wparam), ClientRect(), RGB(255, 255, 255),
                             RGB(226, 224, 220));
        return TRUE;
    }
    return ui::Dialog::OnMessage(message, wparam, lparam);
}

}  // namespace corvella
