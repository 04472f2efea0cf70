// How the results list paints and who touches what.
//
// The list view holds no texts: owner data plus owner draw, so a result set of any size costs
// only the borrowed records. Every row paint reads its record under the model's locks (the mode
// lock for the whole row, the results lock for the copy). A row whose icon is unknown is drawn
// with the generic document icon and queued; the icon thread asks the shell for the icons of
// the newest page of queued rows, writes them into the records under the results lock, and asks
// the list to repaint those rows by posting: it never sends to the window, so the window may wait
// for it at shutdown without a deadlock.
#include "results/list_ctrl_ex_win.h"

#include <objbase.h>
#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>

#include "controls/gradient_win.h"
#include "platform/handle_win.h"
#include "platform/text_win.h"
#include "results/list_texts.h"
#include "results/row_fit.h"
#include "ui/controls.h"
#include "ui/dpi.h"
#include "ui/gdi.h"
#include "ui/wait_cursor.h"

namespace corvella {

namespace {

constexpr COLORREF kSelectedFill = RGB(49, 106, 197);
constexpr COLORREF kGradientLight = RGB(255, 255, 255);
constexpr COLORREF kGradientDark = RGB(226, 224, 220);
constexpr COLORREF kSelectedFrame = RGB(172, 168, 153);
constexpr COLORREF kSecondLine = RGB(127, 127, 127);
// A file name no program is registered for: the shell gives it the generic document icon.
constexpr wchar_t kProbeName[] = L"\\QDR417260935581KTnnpWe31vMZB7305.qzrtmp2213";

}  // namespace

CListCtrlEx::~CListCtrlEx() {
    StopIconThread();
}

void CListCtrlEx::PreSubclass() {
    SetStyle(Style() | LVS_OWNERDRAWFIXED);
    SendMsg(LVM_SETEXTENDEDLISTVIEWSTYLE, ~0u, LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP);
}

void CListCtrlEx::Init(const std::u16string& data_folder) {
    SHFILEINFOW info{};
    small_images_ = reinterpret_cast<HIMAGELIST>(
        SHGetFileInfoW(L"C:\\", 0, &info, sizeof info, SHGFI_SYSICONINDEX | SHGFI_SMALLICON));
    large_images_ = reinterpret_cast<HIMAGELIST>(
        SHGetFileInfoW(L"C:\\", 0, &info, sizeof info, SHGFI_SYSICONINDEX));
    // The system's lists are shared: the list view must not destroy them.
    SetStyle(Style() | LVS_SHAREIMAGELISTS);
    SendMsg(LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(small_images_));
    SendMsg(LVM_SETIMAGELIST, LVSIL_NORMAL, reinterpret_cast<LPARAM>(large_images_));

    // The row height was asked for before this object listened; ask again.
    ui::ListView(hwnd_).RequestItemHeight();

    const std::wstring probe = platform::ToWide(data_folder) + kProbeName;
    // Delete-on-close: the probe is gone when `file` goes.
    const platform::FileHandle file(
        CreateFileW(probe.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (file.IsOpen()) {
        SHFILEINFOW probe_info{};
        if (SHGetFileInfoW(probe.c_str(), 0, &probe_info, sizeof probe_info,
                           SHGFI_SYSICONINDEX | SHGFI_SMALLICON))
            default_icon_ = probe_info.iIcon;
    }

    stop_ = false;
    icon_thread_ = std::thread([this] { IconFetchThread(); });

    tool_tip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_,
                                nullptr, GetModuleHandleW(nullptr), nullptr);
    if (tool_tip_) {
        SendMessageW(tool_tip_, TTM_ACTIVATE, TRUE, 0);
        TOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.uFlags = TTF_TRANSPARENT;
        tool.hwnd = hwnd_;
        tool.uId = 0;
        tool.rect = RECT{0, 0, 32767, 32767};  // the whole list, however it grows
        tool.lpszText = LPSTR_TEXTCALLBACKW;
        SendMessageW(tool_tip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

void CListCtrlEx::StopIconThread() {
    stop_ = true;
    wake_.Set();
    // The thread never waits for this window, so it ends as soon as its shell call returns.
    if (icon_thread_.joinable()) icon_thread_.join();
}

void CListCtrlEx::SetItemCount(int count) {
    item_count_ = count;
    SendMsg(LVM_SETITEMCOUNT, count, 0);
    PutTipAway();
}

void CListCtrlEx::SortRows(SortKey key) {
    model_.Sort(key);
    PutTipAway();
    Invalidate(true);
}

void CListCtrlEx::ShowMessageRow(ListMode mode) {
    model_.SetListMode(mode);
    model_.SetResults(nullptr);
    SetItemCount(1);
    Invalidate(true);
}

void CListCtrlEx::FitColumnToWidth() {
    RECT client{};
    GetClientRect(hwnd_, &client);
    // The room is kept while the scroll bar is hidden too: a column that filled it would be
    // narrowed again the moment enough rows come to show the bar, with a horizontal bar between.
    const int scroll_bar = (Style() & WS_VSCROLL) ? 0 : GetSystemMetrics(SM_CXVSCROLL);
    const int width = client.right - client.left - scroll_bar;
    if (width > 0 && ui::ListView(hwnd_).ColumnWidth(0) != width)
        ui::ListView(hwnd_).SetColumnWidth(0, width);
}

void CListCtrlEx::SelectAll() {
    ui::WaitCursor wait;
    const ui::ListView list(hwnd_);
    for (int row = 0; row < list.ItemCount(); ++row)
        list.SetItemState(row, LVIS_SELECTED, LVIS_SELECTED);
}

bool CListCtrlEx::PreTranslateMessage(MSG& message) {
    if (tool_tip_ && message.hwnd == hwnd_) {
        if (message.message == WM_MOUSEMOVE) {
            // The whole list is one tool: a move to another row must ask for its text anew.
            LVHITTESTINFO hit{};
            hit.pt = POINT{GET_X_LPARAM(message.lParam), GET_Y_LPARAM(message.lParam)};
            const int row =
                static_cast<int>(SendMsg(LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
            if (row != model_.tip_item()) SendMessageW(tool_tip_, TTM_POP, 0, 0);
        }
        SendMessageW(tool_tip_, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&message));
    }
    return false;
}

std::optional<LRESULT> CListCtrlEx::OnReflected(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_MEASUREITEM: {
            auto& measure = *reinterpret_cast<MEASUREITEMSTRUCT*>(lparam);
            const HDC dc = GetDC(nullptr);
            TEXTMETRICW metrics{};
            {
                ui::Selected font(
                    dc, Font() ? static_cast<HGDIOBJ>(Font()) : GetStockObject(DEFAULT_GUI_FONT));
                GetTextMetricsW(dc, &metrics);
            }
            ReleaseDC(nullptr, dc);
            item_height_ = 2 * (metrics.tmHeight + metrics.tmExternalLeading);
            measure.itemHeight = static_cast<UINT>(item_height_);
            return TRUE;
        }
        case WM_DRAWITEM:
            DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lparam));
            return TRUE;
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lparam);
            if (header->code == LVN_GETINFOTIPW) return 0;  // the tool tip is the only hover text
            return std::nullopt;
        }
    }
    return std::nullopt;
}

LRESULT CListCtrlEx::WindowProc(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_SIZE: {
            if (item_height_ > 0)
                rows_per_page_ = static_cast<int>(static_cast<unsigned>(HIWORD(lparam)) /
                                                  static_cast<unsigned>(item_height_));
            const LRESULT result = Default(message, wparam, lparam);
            FitColumnToWidth();
            return result;
        }
        case WM_NOTIFY:
            if (const std::optional<LRESULT> answer =
                    OnNotifyFromChild(reinterpret_cast<NMHDR*>(lparam)))
                return *answer;
            break;
    }
    return Default(message, wparam, lparam);
}

std::optional<LRESULT> CListCtrlEx::OnNotifyFromChild(NMHDR* header) {
    switch (header->code) {
        case HDN_ITEMCLICKW:
            if (view_menu_) {
                SetForegroundWindow(hwnd_);
                POINT at;
                GetCursorPos(&at);
                TrackPopupMenu(view_menu_, TPM_RIGHTBUTTON, at.x, at.y, 0,
                               GetAncestor(hwnd_, GA_ROOT), nullptr);
            }
            return TRUE;
        case HDN_DIVIDERDBLCLICKW:
            SendMsg(LVM_SETCOLUMNWIDTH, 0, MAKELPARAM(model_.ideal_width(), 0));
            return TRUE;
        case TTN_NEEDTEXTW:
            if (header->hwndFrom == tool_tip_)
                return OnToolTipText(*reinterpret_cast<NMTTDISPINFOW*>(header)) ? TRUE : FALSE;
            break;
    }
    return std::nullopt;
}

void CListCtrlEx::PutTipAway() {
    if (tool_tip_) SendMessageW(tool_tip_, TTM_POP, 0, 0);
}

bool CListCtrlEx::OnToolTipText(NMTTDISPINFOW& info) {
    const DWORD position = GetMessagePos();
    LVHITTESTINFO hit{};
    hit.pt = POINT{GET_X_LPARAM(position), GET_Y_LPARAM(position)};
    ScreenToClient(hwnd_, &hit.pt);
    const int row =
        static_cast<int>(SendMsg(LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
    if (row >= 0 && row == model_.tip_item()) {
        info.lpszText = tip_text_.data();
        return true;
    }
    SendMessageW(tool_tip_, TTM_SETMAXTIPWIDTH, 0, ui::ScaleForDpi(500, ui::DpiOf(hwnd_)));
    ListItem item;
    if (row >= 0 && model_.list_mode() == ListMode::Results &&
        model_.GetItem(row, item_count_, item)) {
        model_.set_tip_item(row);
        const std::u16string text =
            RowToolTipText(item.name, item.location, item.last_write, item.size_kb);
        tip_text_ = platform::ToWide(text);
        info.lpszText = tip_text_.data();
        return true;
    }
    tip_text_.clear();
    info.lpszText = tip_text_.data();
    return false;
}

void CListCtrlEx::DrawItem(const DRAWITEMSTRUCT& draw) {
    std::lock_guard mode(model_.mode_lock());
    const ListMode list_mode = model_.list_mode();
    if (list_mode == ListMode::None) return;
    if (list_mode != ListMode::Results) {
        RECT rect = draw.rcItem;
        const std::u16string_view text = ListModeText(list_mode);
        DrawTextW(draw.hDC, reinterpret_cast<const wchar_t*>(text.data()),
                  static_cast<int>(text.size()), &rect, DT_VCENTER);
        return;
    }
    DrawRow(draw.hDC, static_cast<int>(draw.itemID), (draw.itemState & ODS_SELECTED) != 0);
}

void CListCtrlEx::DrawRow(HDC dc, int row, bool selected) {
    ListItem item;
    if (!model_.GetItem(row, item_count_, item)) return;
    int icon = item.icon;
    if (icon == kIconUnresolved) {
        icon = default_icon_;
        icon_queue_.Push(row);
        wake_.Set();
    }
    RECT icon_rect{}, label{};
    icon_rect.left = LVIR_ICON;
    SendMsg(LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&icon_rect));
    label.left = LVIR_LABEL;
    SendMsg(LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&label));
    if (small_images_)
        ImageList_Draw(small_images_, icon, dc, icon_rect.left, icon_rect.top, ILD_NORMAL);

    const int dpi = ui::DpiOf(hwnd_);
    RECT r = label;
    r.left += ui::ScaleForDpi(16, dpi);
    // The row ends where the list's visible part does, so that a selected row's frame shows
    // whole beside the scroll bar.
    RECT client{};
    GetClientRect(hwnd_, &client);
    r.right = std::min(r.right, client.right);
    ui::SavedDc saved(dc);
    if (selected) {
        FillSolid(dc, r, kSelectedFill);
        FillVerticalGradient(dc, r, kGradientLight, kGradientDark);
        const int half = (r.bottom - r.top) / 2;
        FillVerticalGradient(dc, RECT{r.left, r.top, r.right, r.top + half}, kGradientLight,
                             kGradientDark);
        FillVerticalGradient(dc, RECT{r.left, r.bottom - half, r.right, r.bottom}, kGradientDark,
                             kGradientLight);
        ui::Pen frame = ui::SolidPen(1, kSelectedFrame);
        ui::Selected pen(dc, frame.get());
        ui::Selected brush(dc, GetStockObject(NULL_BRUSH));
        RoundRect(dc, r.left, r.top, r.right, r.bottom, 5, 5);
    } else {
        FillSolid(dc, r, RGB(255, 255, 255));
    }

    // The texts lie on the fill just drawn: an opaque text background would cut white boxes
    // out of a selected row's gradient.
    SetBkMode(dc, TRANSPARENT);
    // The size and the date keep off the frame and the scroll bar.
    RECT text = r;
    text.right -= ui::ScaleForDpi(4, dpi);
    SetTextColor(dc, RGB(0, 0, 0));
    FitAndDraw(dc, item.name, RowSizeText(item.size_kb), text);
    if (!item.location.empty()) {
        SetTextColor(dc, kSecondLine);
        RECT line2 = text;
        line2.top = text.top + (text.bottom - text.top) / 2;
        FitAndDraw(dc, item.location, RowDateText(item.last_write), line2);
    }
}

void CListCtrlEx::FitAndDraw(HDC dc, std::u16string_view left, std::u16string_view right,
                             RECT line) {
    const auto measure = [&](std::u16string_view text) {
        RECT calc = line;
        DrawTextW(dc, reinterpret_cast<const wchar_t*>(text.data()), static_cast<int>(text.size()),
                  &calc, DT_CALCRECT);
        return static_cast<int>(calc.right - calc.left);
    };
    const LineFit fit = FitLine(left, right, line.left, line.right, model_.ideal_width(), measure);
    model_.set_ideal_width(fit.ideal_width);
    RECT left_rect{line.left, line.top, fit.left_right, line.bottom};
    DrawTextW(dc, reinterpret_cast<const wchar_t*>(left.data()), static_cast<int>(left.size()),
              &left_rect, 0);
    DrawTextW(dc, reinterpret_cast<const wchar_t*>(fit.right_text.data()),
              static_cast<int>(fit.right_text.size()), &line, DT_RIGHT);
}

void CListCtrlEx::IconFetchThread() {
    // The shell's icon lookups want a single-threaded apartment on the calling thread.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    while (!stop_) {
        const std::optional<int> row = icon_queue_.TakeFront(rows_per_page_.load());
        if (row) {
            std::u16string path;
            if (model_.GetItemFullPath(*row, item_count_, u'\\', path)) {
                SHFILEINFOW info{};
                const int icon = SHGetFileInfoW(platform::ToWide(path).c_str(), 0, &info,
                                                sizeof info, SHGFI_SYSICONINDEX | SHGFI_SMALLICON)
                                     ? info.iIcon
                                     : default_icon_;
                model_.SetItemIcon(*row, item_count_, icon);
                PostMessageW(hwnd_, LVM_REDRAWITEMS, *row, *row);
            }
        } else {
            InvalidateRect(hwnd_, nullptr, TRUE);
            wake_.Wait();
        }
    }
    if (SUCCEEDED(com)) CoUninitialize();
}

}  // namespace corvella
