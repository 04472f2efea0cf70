#include "search/tab_sheet_win.h"

#include <commctrl.h>
#include <windowsx.h>

#include "controls/gradient_win.h"
#include "search/tab_sheet_layout.h"
#include "ui/controls.h"
#include "ui/gdi.h"

namespace corvella {

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kIdleTab = RGB(216, 214, 208);
constexpr int kMaxTitle = 99;  // characters of a title that are drawn

Rect ToRect(const RECT& r) {
    return {r.left, r.top, r.right, r.bottom};
}

}  // namespace

bool CTabSheet::AddPage(const wchar_t* title, OptionPage& page) {
    if (created_ || page_count() >= kMaxPages) return false;
    pages_.push_back({title, &page});
    return true;
}

OptionPage* CTabSheet::page(int index) const {
    return index >= 0 && index < page_count() ? pages_[index].page : nullptr;
}

void CTabSheet::PreSubclass() {
    // The dialog manager's Tab and arrow keys reach into the pages only through a control
    // parent; the pages themselves are made as such (DS_CONTROL).
    SetWindowLongPtrW(hwnd_, GWL_EXSTYLE,
                      GetWindowLongPtrW(hwnd_, GWL_EXSTYLE) | WS_EX_CONTROLPARENT);
}

void CTabSheet::CreatePages() {
    if (created_) return;
    created_ = true;
    const ui::TabCtrl tabs(hwnd_);
    // A page that cannot be made is dropped with its tab, so tab and page indexes stay one.
    std::vector<Page> made;
    for (const Page& p : pages_) {
        if (!p.page->Create(hwnd_)) continue;
        tabs.InsertItem(static_cast<int>(made.size()), p.title);
        made.push_back(p);
    }
    pages_ = std::move(made);
    if (pages_.empty()) return;

    RECT first{};
    tabs.ItemRect(0, first);
    const Rect to = PageRect(ToRect(ClientRect()), ToRect(first));
    for (const Page& p : pages_) {
        SetWindowPos(p.page->hwnd(), nullptr, to.left, to.top, to.width(), to.height(),
                     SWP_NOZORDER | SWP_NOACTIVATE | SWP_HIDEWINDOW);
    }
    tabs.Select(0);
    ShowPage(0);
}

void CTabSheet::ShowPage(int index) {
    if (index == shown_ || !page(index)) return;
    if (OptionPage* old = page(shown_)) old->Show(SW_HIDE);
    shown_ = index;
    pages_[index].page->Show(SW_SHOW);
}

std::optional<LRESULT> CTabSheet::OnReflected(UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_DRAWITEM) {
        DrawTab(*reinterpret_cast<const DRAWITEMSTRUCT*>(lparam));
        return TRUE;
    }
    // A click on a tab, the arrow keys or Ctrl+Tab: the page follows the selected tab.
    if (message == WM_NOTIFY && reinterpret_cast<const NMHDR*>(lparam)->code == TCN_SELCHANGE) {
        ShowPage(ui::TabCtrl(hwnd_).Selection());
        return 0;
    }
    return std::nullopt;
}

LRESULT CTabSheet::WindowProc(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_MOUSEMOVE:
            OnMouseMove({GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)});
            break;
        case WM_MOUSELEAVE:
            SetHot(-1);
            break;
    }
    return Default(message, wparam, lparam);
}

void CTabSheet::OnMouseMove(POINT at) {
    if (hot_ < 0) {
        TRACKMOUSEEVENT track{};
        track.cbSize = sizeof track;
        track.dwFlags = TME_LEAVE;
        track.hwndTrack = hwnd_;
        TrackMouseEvent(&track);
    }
    // From the last tab to the first: the selected tab is drawn larger and overlaps its
    // neighbours, of which the later ones lie on top.
    const ui::TabCtrl tabs(hwnd_);
    int under = -1;
    for (int i = tabs.Count() - 1; i >= 0 && under < 0; --i) {
        RECT rect{};
        if (tabs.ItemRect(i, rect) && PtInRect(&rect, at)) under = i;
    }
    SetHot(under);
}

void CTabSheet::SetHot(int index) {
    if (index == hot_) return;
    const ui::TabCtrl tabs(hwnd_);
    // The tab that was hot is drawn again too, or it would keep its light look.
    for (int tab : {hot_, index}) {
        RECT rect{};
        if (tab >= 0 && tabs.ItemRect(tab, rect)) Invalidate(rect, true);
    }
    hot_ = index;
}

void CTabSheet::DrawTab(const DRAWITEMSTRUCT& item) const {
    const HDC dc = item.hDC;
    const ui::SavedDc saved(dc);
    RECT rect = item.rcItem;
    const int index = static_cast<int>(item.itemID);
    const bool shown = index == ui::TabCtrl(hwnd_).Selection();
    FillSolid(dc, rect, shown || index == hot_ ? kWhite : kIdleTab);
    if (shown) DrawEdge(dc, &rect, EDGE_ETCHED, BF_LEFT | BF_TOP | BF_RIGHT);

    const std::wstring title = ui::TabCtrl(hwnd_).ItemText(index, kMaxTitle);
    SelectObject(dc, Font());
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    DrawTextW(dc, title.c_str(), static_cast<int>(title.size()), &rect,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}

}  // namespace corvella
