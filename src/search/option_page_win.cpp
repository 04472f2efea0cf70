#include "search/option_page_win.h"

#include "controls/gradient_win.h"

namespace corvella {

bool OptionPage::PreTranslateMessage(MSG& message) {
    if (IsEnterKey(message)) return true;
    if (message.message == WM_KEYDOWN && message.wParam == VK_ESCAPE) {
        PostMessageW(GetAncestor(hwnd_, GA_ROOT), WM_SYSCOMMAND, SC_CLOSE, 0);
        return true;
    }
    return false;
}

std::optional<LRESULT> OptionPage::OnMessage(UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_ERASEBKGND) {
        FillDialogBackground(reinterpret_cast<HDC>(wparam), ClientRect());
        return TRUE;
    }
    return ui::Dialog::OnMessage(message, wparam, lparam);
}

}  // namespace corvella
