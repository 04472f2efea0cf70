// The main window's side of the commands on the selected rows of the results list: the list's
// right-click menu, its double-click, drag and keys, and the menu's commands.

#include "app/main_dlg_win.h"
#include "platform/text_win.h"
#include "resource.h"
#include "results/drag_out_win.h"
#include "results/list_texts.h"
#include "results/result_actions.h"
#include "results/result_actions_win.h"
#include "ui/controls.h"
#include "ui/wait_cursor.h"

namespace corvella {

bool CMainDlg::OnListCommand(int id) {
    switch (id) {
        case ID_LIST_SEARCH_SAME_FOLDER:
            OnSearchInFolder(false);
            return true;
        case ID_LIST_SEARCH_THIS_FOLDER:
            OnSearchInFolder(true);
            return true;
        case ID_LIST_COMMAND_PROMPT:
            OpenCommandPrompts(ReadSelectedRows(list_));
            return true;
    }
    ui::WaitCursor wait;
    switch (id) {
        case ID_LIST_OPEN:
            OpenRows(ReadSelectedRows(list_));
            return true;
        case ID_LIST_BROWSE_FILE:
            BrowseFiles(ReadSelectedRows(list_));
            return true;
        case ID_LIST_BROWSE_FOLDER:
            BrowseFolders(ReadSelectedRows(list_));
            return true;
        case ID_LIST_COPY_FILE_PATH:
            PutClipboardText(hwnd_, FilePathsText(ReadSelectedRows(list_)));
            return true;
        case ID_LIST_COPY_FOLDER_PATH:
            PutClipboardText(hwnd_, FolderPathsText(ReadSelectedRows(list_)));
            return true;
        case ID_LIST_COPY:
            PutClipboardFiles(hwnd_, ReadSelectedRows(list_));
            return true;
        case ID_LIST_DELETE:
            OnDeleteRows();
            return true;
    }
    return false;
}

void CMainDlg::OnSearchInFolder(bool this_folder) {
    const ActionRow row = ReadFirstSelectedRow(list_);
    if (!row.readable) return;
    std::u16string folder;
    if (!this_folder) {
        folder = row.location.empty() ? row.name : row.location;
    } else if (row.is_folder) {
        folder = row.location + row.name;
    } else {
        // The box keeps what it had: a search right after the message then still runs where the
        // user last asked for, not over everything.
        MessageBoxW(hwnd_, L"This is not a folder!", L"Corvella", MB_OK);
        return;
    }
    Item(IDC_LOCATION).SetText(platform::ToWide(folder));
    if (runner_) runner_->SetLocation(LocationText());
}

void CMainDlg::OnDeleteRows() {
    if (!DeleteSelectedRows(hwnd_, list_)) return;
    const int rows = list_.item_count();
    SetStatus(RemainingStatusText(static_cast<uint64_t>(rows),
                                  list_.model().TotalSizeKB(rows).value_or(0)));
}

void CMainDlg::OnListRightClick(POINT at) {
    const ShellMenuTarget target = ShellMenuTargetFor(ReadSelectedRows(list_));
    if (target.outcome == ShellMenuOutcome::NoRows ||
        target.outcome == ShellMenuOutcome::Unreadable)
        return;
    // The menu with an empty "Explorer Action" submenu in front; the submenu is destroyed with it.
    ui::LoadedMenu loaded(IDR_LISTMENU);
    const HMENU menu = loaded.menu().SubMenu(0).get();
    const HMENU explorer = CreatePopupMenu();
    if (!menu || !explorer) {
        if (explorer) DestroyMenu(explorer);
        return;
    }
    InsertMenuW(menu, 0, MF_BYPOSITION | MF_POPUP, reinterpret_cast<UINT_PTR>(explorer),
                L"Explorer Action");
    SetForegroundWindow(hwnd_);

    const bool shell_ready =
        target.outcome == ShellMenuOutcome::Paths && shell_menu_.SetObjects(target.paths);
    if (!shell_ready) {
        AppendMenuW(explorer, MF_STRING, 0,
                    target.outcome == ShellMenuOutcome::NotSameFolder
                        ? L"Not in the same folder"
                        : L"Not available for this item.");
        ui::Menu(menu).TrackPopup(TPM_RIGHTBUTTON, at, hwnd_);
        return;
    }

    explorer_popup_ = explorer;
    explorer_filled_ = false;
    shell_menu_failed_ = false;
    UINT chosen =
        static_cast<UINT>(ui::Menu(menu).TrackPopup(TPM_RIGHTBUTTON | TPM_RETURNCMD, at, hwnd_));
    explorer_popup_ = nullptr;
    // A shell command runs now, while its menu is still held; every way out lets it go.
    if (!shell_menu_failed_) chosen = shell_menu_.InvokeCommand(hwnd_, chosen);
    shell_menu_.Release();
    if (chosen > kShellLastCommand) SendMsg(WM_COMMAND, chosen, 0);
}

void CMainDlg::OnListBeginDrag() {
    // A drag that cannot start, or carries nothing (drives only), simply does not happen; the
    // list and its rows stay as they were whatever the target did with the files.
    DragRowsOut(ReadSelectedRows(list_));
}

std::optional<LRESULT> CMainDlg::OnListMenuMessage(UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_INITMENUPOPUP && explorer_popup_ &&
        reinterpret_cast<HMENU>(wparam) == explorer_popup_) {
        if (!explorer_filled_) {
            explorer_filled_ = true;
            if (!shell_menu_.GetMenu(explorer_popup_)) {
                shell_menu_failed_ = true;
                AppendMenuW(explorer_popup_, MF_STRING, 0, L"Not available for this item");
            }
        }
        return 0;
    }
    if (!explorer_popup_ || !shell_menu_.active()) return std::nullopt;
    return shell_menu_.HandleMenuMessage(message, wparam, lparam);
}

bool CMainDlg::OnListKey(const MSG& message) {
    if (message.hwnd != list_.hwnd()) return false;
    if (message.message != WM_KEYDOWN && message.message != WM_SYSKEYDOWN) return false;
    const bool ctrl = GetKeyState(VK_CONTROL) < 0, shift = GetKeyState(VK_SHIFT) < 0;
    switch (message.wParam) {
        case VK_RETURN:
            OpenRows(ReadSelectedRows(list_));
            return true;
        case 'C':
            if (!ctrl) return false;
            OnListCommand(shift ? ID_LIST_COPY_FILE_PATH : ID_LIST_COPY);
            return true;
        case 'A':
            if (!ctrl || shift) return false;
            list_.SelectAll();
            return true;
        case VK_DELETE:
            if (ctrl || shift) return false;
            OnListCommand(ID_LIST_DELETE);
            return true;
        case VK_F10:
            if (!shift || ctrl) return false;
            [[fallthrough]];
        case VK_APPS: {
            // The menu under the first selected row, as a click there would show it.
            const ui::ListView view(list_.hwnd());
            const int row = view.NextItem(-1, LVNI_SELECTED);
            RECT rect{};
            if (row < 0 || !view.ItemRect(row, LVIR_LABEL, rect)) return true;
            POINT at{rect.left + (rect.bottom - rect.top) / 2, rect.bottom};
            ClientToScreen(list_.hwnd(), &at);
            OnListRightClick(at);
            return true;
        }
    }
    return false;
}

}  // namespace corvella
