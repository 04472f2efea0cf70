// The main window's side of searching: what starts a search, the keys of the two boxes, and
// how a search's progress reaches the list and the status line (posted by the worker, drawn by
// the window's own thread).
#include "app/main_dlg_win.h"
#include "platform/text_win.h"
#include "resource.h"
#include "ui/controls.h"
#include "ui/post.h"

namespace corvella {

std::u16string CMainDlg::PatternText() const {
    const std::wstring text = Item(IDC_PATTERN).Text();
    return platform::FromWide(text.data(), text.size());
}

std::u16string CMainDlg::LocationText() const {
    const std::wstring text = Item(IDC_LOCATION).Text();
    return platform::FromWide(text.data(), text.size());
}

void CMainDlg::SearchFromBoxes() {
    if (!runner_) return;
    const std::u16string pattern = PatternText(), location = LocationText();
    runner_->StartSearch(pattern, location);
    AddHistories(pattern, location);
}

bool CMainDlg::PreTranslateMessage(MSG& message) {
    if (OnListKey(message)) return true;
    const bool key_down = message.message == WM_KEYDOWN;
    if (message.message == WM_KEYUP && message.wParam == VK_RETURN) {
        const HWND pattern = ui::ComboBox(Item(IDC_PATTERN).hwnd()).EditField();
        const HWND location = ui::ComboBox(Item(IDC_LOCATION).hwnd()).EditField();
        if (message.hwnd == pattern || message.hwnd == location) {
            SearchFromBoxes();
            return true;
        }
        return false;
    }
    // Enter never reaches the dialog manager, so it never closes the window or presses a button.
    if ((key_down && message.wParam == VK_RETURN) ||
        (message.message == WM_CHAR && message.wParam == L'\r'))
        return true;
    if (key_down && message.wParam == VK_ESCAPE) {
        PostMsg(WM_SYSCOMMAND, SC_CLOSE);
        return true;
    }
    return false;
}

void CMainDlg::SearchStarted() {
    ui::Post(hwnd_, [this] {
        list_.SetItemCount(1);
        list_.Invalidate(true);
    });
}

void CMainDlg::SearchFinished(const SearchReport& report) {
    ui::Post(hwnd_, [this, count = static_cast<int>(report.item_count), status = report.status] {
        list_.SetItemCount(count);
        list_.Invalidate(true);
        SetStatus(status);
    });
}

}  // namespace corvella
