#include "results/result_actions_win.h"

#include <shellapi.h>

#include <cstring>

#include "platform/text_win.h"
#include "ui/controls.h"

namespace corvella {

namespace {

ActionRow ReadRow(CListCtrlEx& list, int index) {
    ActionRow row;
    row.index = index;
    ListItem item;
    if (list.model().GetItem(index, list.item_count(), item)) {
        row.readable = true;
        row.name = std::move(item.name);
        row.location = std::move(item.location);
        row.is_folder = item.is_folder;
    }
    return row;
}

void Launch(const wchar_t* program, const std::u16string& parameters) {
    ShellExecuteW(nullptr, L"Open", program, platform::ToWide(parameters).c_str(), nullptr,
                  SW_SHOWNORMAL);
}

// The clipboard, open for one owner while this lives.
class OpenClipboardGuard {
  public:
    explicit OpenClipboardGuard(HWND owner) : open_(OpenClipboard(owner) != FALSE) {}
    ~OpenClipboardGuard() {
        if (open_) CloseClipboard();
    }
    OpenClipboardGuard(const OpenClipboardGuard&) = delete;
    OpenClipboardGuard& operator=(const OpenClipboardGuard&) = delete;
    bool is_open() const { return open_; }

  private:
    bool open_;
};

// Hands `bytes` to the clipboard as `format`; the clipboard owns the block once it took it.
bool PutClipboardBlock(HWND owner, UINT format, const void* bytes, size_t size) {
    const OpenClipboardGuard clipboard(owner);
    if (!clipboard.is_open()) return false;
    const HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    if (!block) return false;
    void* at = GlobalLock(block);
    if (!at) {
        GlobalFree(block);
        return false;
    }
    std::memcpy(at, bytes, size);
    GlobalUnlock(block);
    EmptyClipboard();
    if (!SetClipboardData(format, block)) {
        GlobalFree(block);
        return false;
    }
    return true;
}

}  // namespace

std::vector<ActionRow> ReadSelectedRows(CListCtrlEx& list) {
    std::vector<ActionRow> rows;
    const ui::ListView view(list.hwnd());
    for (int index = -1; (index = view.NextItem(index, LVNI_SELECTED)) >= 0;)
        rows.push_back(ReadRow(list, index));
    return rows;
}

ActionRow ReadFirstSelectedRow(CListCtrlEx& list) {
    const int index = ui::ListView(list.hwnd()).NextItem(-1, LVNI_SELECTED);
    if (index < 0) return ActionRow{};
    return ReadRow(list, index);
}

void OpenRows(const std::vector<ActionRow>& rows) {
    for (const ActionRow& row : rows) {
        if (!row.readable) return;
        const std::wstring path = platform::ToWide(row.location + row.name);
        SHELLEXECUTEINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = SEE_MASK_NOCLOSEPROCESS;
        info.lpFile = path.c_str();
        info.lpParameters = L"";
        info.nShow = SW_SHOW;
        // The program does not wait for what it started.
        if (ShellExecuteExW(&info) && info.hProcess) CloseHandle(info.hProcess);
    }
}

void BrowseFiles(const std::vector<ActionRow>& rows) {
    for (const ActionRow& row : rows)
        if (row.readable) Launch(L"explorer.exe", u" /select,\"" + row.location + row.name + u"\"");
}

void BrowseFolders(const std::vector<ActionRow>& rows) {
    for (const ActionRow& row : rows)
        if (row.readable) Launch(L"explorer.exe", u" \"" + row.location + u"\"");
}

void OpenCommandPrompts(const std::vector<ActionRow>& rows) {
    // The system's own interpreter by its full path: a bare "cmd.exe" is looked for in the
    // folder it starts in first, where any program of that name would run instead.
    wchar_t system[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(system, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    const std::wstring program = std::wstring(system, length) + L"\\cmd.exe";
    for (const ActionRow& row : rows) {
        if (!row.readable) continue;
        const std::wstring folder = platform::ToWide(CommandPromptFolder(row));
        ShellExecuteW(nullptr, L"Open", program.c_str(), nullptr, folder.c_str(), SW_SHOWNORMAL);
    }
}

bool PutClipboardText(HWND owner, const std::u16string& text) {
    return PutClipboardBlock(owner, CF_UNICODETEXT, text.c_str(),
                             (text.size() + 1) * sizeof(char16_t));
}

bool PutClipboardFiles(HWND owner, const std::vector<ActionRow>& rows) {
    const std::optional<std::vector<uint8_t>> block = FileDropBlock(rows);
    if (!block) return false;
    return PutClipboardBlock(owner, CF_HDROP, block->data(), block->size());
}

bool DeleteSelectedRows(HWND owner, CListCtrlEx& list) {
    const std::optional<DeleteRequest> request = PlanDelete(ReadSelectedRows(list));
    if (!request) return false;
    const std::wstring source = platform::ToWide(request->shell_list);
    SHFILEOPSTRUCTW operation{};
    operation.hwnd = owner;
    operation.wFunc = FO_DELETE;
    operation.pFrom = source.c_str();
    operation.fFlags = FOF_ALLOWUNDO | FOF_WANTNUKEWARNING;
    SHFileOperationW(&operation);
    // Whatever the shell says, a row leaves only when its entry is really gone: a cancel part
    // way or an entry in use leaves some behind.
    const std::vector<int> gone = RowsDeleted(*request, [](const std::u16string& path) {
        return GetFileAttributesW(platform::ToWide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
    });
    if (gone.empty()) return false;
    const ui::ListView view(list.hwnd());
    // The selection belongs to row positions, which the removal shifts.
    view.SetItemState(-1, 0, LVIS_SELECTED);
    const int removed = list.model().RemoveRows(gone, list.item_count());
    list.SetItemCount(list.item_count() - removed);
    list.Invalidate(true);
    return removed > 0;
}

}  // namespace corvella
