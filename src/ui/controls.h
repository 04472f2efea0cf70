// The common controls the dialogs use, as wrappers of windows they do not own (what GetDlgItem
// returns). Each method is one message; the few that need more say why.
#pragma once

#include <windows.h>
// The common controls' declarations build on <windows.h>.
#include <commctrl.h>

#include <string>

#include "ui/wnd.h"

namespace corvella::ui {

class ComboBox : public Wnd {
  public:
    using Wnd::Wnd;

    int Count() const { return static_cast<int>(SendMsg(CB_GETCOUNT)); }
    int Add(const wchar_t* text) const {
        return static_cast<int>(SendMsg(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text)));
    }
    int Insert(int index, const wchar_t* text) const {
        return static_cast<int>(SendMsg(CB_INSERTSTRING, index, reinterpret_cast<LPARAM>(text)));
    }
    int Delete(int index) const { return static_cast<int>(SendMsg(CB_DELETESTRING, index)); }
    void Clear() const { SendMsg(CB_RESETCONTENT); }
    int Selection() const { return static_cast<int>(SendMsg(CB_GETCURSEL)); }
    int Select(int index) const { return static_cast<int>(SendMsg(CB_SETCURSEL, index)); }
    // The first entry after `after` (-1: from the top) equal to `text` without regard to case.
    int FindExact(int after, const wchar_t* text) const {
        return static_cast<int>(SendMsg(CB_FINDSTRINGEXACT, after, reinterpret_cast<LPARAM>(text)));
    }
    // Asks for the length first, then for the text: the list has no bounded read.
    std::wstring ItemText(int index) const;
    bool IsDroppedDown() const { return SendMsg(CB_GETDROPPEDSTATE) != 0; }
    // The edit field of an editable box: the window that keys typed into the box go to.
    HWND EditField() const {
        COMBOBOXINFO info{};
        info.cbSize = sizeof(info);
        return GetComboBoxInfo(hwnd_, &info) ? info.hwndItem : nullptr;
    }
};

class Edit : public Wnd {
  public:
    using Wnd::Wnd;

    bool SetReadOnly(bool read_only) const { return SendMsg(EM_SETREADONLY, read_only) != 0; }
    void Select(int start, int end) const { SendMsg(EM_SETSEL, start, end); }
    void LimitText(int characters) const { SendMsg(EM_LIMITTEXT, characters); }
};

class Button : public Wnd {
  public:
    using Wnd::Wnd;

    bool IsChecked() const { return SendMsg(BM_GETCHECK) == BST_CHECKED; }
    void SetCheck(bool checked) const {
        SendMsg(BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED);
    }
};

class ListView : public Wnd {
  public:
    using Wnd::Wnd;

    int ItemCount() const { return static_cast<int>(SendMsg(LVM_GETITEMCOUNT)); }
    // For an owner-data list: how many rows there are. `flags`: LVSICF_NOINVALIDATEALL,
    // LVSICF_NOSCROLL.
    bool SetItemCount(int count, DWORD flags = 0) const {
        return SendMsg(LVM_SETITEMCOUNT, count, flags) != 0;
    }
    int InsertColumn(int index, const wchar_t* heading, int width, int format = LVCFMT_LEFT) const {
        LVCOLUMNW column{};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
        column.fmt = format;
        column.cx = width;
        column.pszText = const_cast<wchar_t*>(heading);
        return static_cast<int>(
            SendMsg(LVM_INSERTCOLUMNW, index, reinterpret_cast<LPARAM>(&column)));
    }
    int ColumnWidth(int column) const {
        return static_cast<int>(SendMsg(LVM_GETCOLUMNWIDTH, column));
    }
    bool SetColumnWidth(int column, int width) const {
        return SendMsg(LVM_SETCOLUMNWIDTH, column, MAKELPARAM(width, 0)) != 0;
    }
    DWORD SetExtendedStyle(DWORD mask, DWORD style) const {
        return static_cast<DWORD>(SendMsg(LVM_SETEXTENDEDLISTVIEWSTYLE, mask, style));
    }
    HIMAGELIST SetImageList(HIMAGELIST list, int which) const {
        return reinterpret_cast<HIMAGELIST>(
            SendMsg(LVM_SETIMAGELIST, which, reinterpret_cast<LPARAM>(list)));
    }
    HWND Header() const { return reinterpret_cast<HWND>(SendMsg(LVM_GETHEADER)); }

    bool RedrawItems(int first, int last) const {
        return SendMsg(LVM_REDRAWITEMS, first, last) != 0;
    }
    // The row under `info.pt` (client coordinates), -1 for none; LVM_SUBITEMHITTEST also fills
    // in the column.
    int HitTest(LVHITTESTINFO& info) const {
        return static_cast<int>(SendMsg(LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&info)));
    }
    int SubItemHitTest(LVHITTESTINFO& info) const {
        return static_cast<int>(SendMsg(LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&info)));
    }
    UINT ItemState(int item, UINT mask) const {
        return static_cast<UINT>(SendMsg(LVM_GETITEMSTATE, item, mask));
    }
    // `item` -1 sets the state of every row.
    bool SetItemState(int item, UINT state, UINT mask) const {
        LVITEMW change{};
        change.stateMask = mask;
        change.state = state;
        return SendMsg(LVM_SETITEMSTATE, item, reinterpret_cast<LPARAM>(&change)) != 0;
    }
    int NextItem(int start, UINT flags) const {
        return static_cast<int>(SendMsg(LVM_GETNEXTITEM, start, flags));
    }
    int SelectedCount() const { return static_cast<int>(SendMsg(LVM_GETSELECTEDCOUNT)); }
    // `code`: LVIR_BOUNDS, LVIR_ICON, LVIR_LABEL, LVIR_SELECTBOUNDS.
    bool ItemRect(int item, int code, RECT& rect) const {
        rect.left = code;
        return SendMsg(LVM_GETITEMRECT, item, reinterpret_cast<LPARAM>(&rect)) != 0;
    }
    bool SubItemRect(int item, int subitem, int code, RECT& rect) const {
        rect.top = subitem;
        rect.left = code;
        return SendMsg(LVM_GETSUBITEMRECT, item, reinterpret_cast<LPARAM>(&rect)) != 0;
    }

    // An owner-drawn list asks its parent for the row height when it is created, which for a
    // list in a dialog is before the dialog procedure knows its object and before the list is
    // subclassed: nobody answers. A list that is told its position changed asks again; its size
    // must appear changed, so the notice carries the current rectangle without SWP_NOSIZE.
    void RequestItemHeight() const;
};

class TabCtrl : public Wnd {
  public:
    using Wnd::Wnd;

    int InsertItem(int index, const wchar_t* text) const {
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<wchar_t*>(text);
        return static_cast<int>(SendMsg(TCM_INSERTITEMW, index, reinterpret_cast<LPARAM>(&item)));
    }
    int Count() const { return static_cast<int>(SendMsg(TCM_GETITEMCOUNT)); }
    int Selection() const { return static_cast<int>(SendMsg(TCM_GETCURSEL)); }
    int Select(int index) const { return static_cast<int>(SendMsg(TCM_SETCURSEL, index)); }
    int FocusedItem() const { return static_cast<int>(SendMsg(TCM_GETCURFOCUS)); }
    bool ItemRect(int index, RECT& rect) const {
        return SendMsg(TCM_GETITEMRECT, index, reinterpret_cast<LPARAM>(&rect)) != 0;
    }
    // The tab's title, cut at `max_characters`.
    std::wstring ItemText(int index, int max_characters) const;
    // larger false: the display area for a window rectangle; true: the reverse.
    void AdjustRect(bool larger, RECT& rect) const {
        SendMsg(TCM_ADJUSTRECT, larger, reinterpret_cast<LPARAM>(&rect));
    }
};

}  // namespace corvella::ui
