#include "results/save_results_dlg_win.h"

#include <commdlg.h>
#include <shlobj.h>

#include "platform/text_win.h"
#include "resource.h"
#include "results/list_ctrl_ex_win.h"
#include "results/save_input.h"
#include "ui/wait_cursor.h"

namespace corvella {

namespace {

std::u16string DocumentsFolder() {
    wchar_t folder[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, folder)))
        return {};
    return platform::FromWide(folder, wcslen(folder));
}

bool SomethingExistsAt(const std::u16string& path) {
    return GetFileAttributesW(platform::ToWide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

CSaveResultsDlg::CSaveResultsDlg() : ui::Dialog(IDD_SAVE_RESULTS) {}

bool CSaveResultsDlg::OnInitDialog() {
    Item(IDC_SAVE_PATH).SetText(platform::ToWide(path));
    Item(IDC_SAVE_FORMAT).SetText(platform::ToWide(format));
    CheckDlgButton(hwnd_, IDC_SAVE_SELECTED, selected_only ? BST_CHECKED : BST_UNCHECKED);
    return true;
}

std::u16string CSaveResultsDlg::EditText(int id) const {
    const std::wstring text = Item(id).Text();
    return platform::FromWide(text.data(), text.size());
}

bool CSaveResultsDlg::OnCommand(int id, int code, HWND) {
    if (id == IDC_SAVE_BROWSE && code == BN_CLICKED) {
        OnBrowse();
        return true;
    }
    return false;
}

void CSaveResultsDlg::OnBrowse() {
    wchar_t file[MAX_PATH] = L"SearchResults.txt";
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = hwnd_;
    ofn.lpstrFile = file;
    ofn.nMaxFile = MAX_PATH;
    ofn.Flags = OFN_NOCHANGEDIR | OFN_EXPLORER;
    if (GetSaveFileNameW(&ofn)) Item(IDC_SAVE_PATH).SetText(file);
}

void CSaveResultsDlg::OnOK() {
    std::u16string new_path = EditText(IDC_SAVE_PATH), new_format = EditText(IDC_SAVE_FORMAT);
    const auto tell = [&](const char16_t* text) {
        MessageBoxW(hwnd_, platform::ToWide(text).c_str(), L"Corvella", MB_OK | MB_ICONEXCLAMATION);
    };
    switch (CheckSaveInput(new_path, new_format, SomethingExistsAt)) {
        case SaveInputCheck::Blank:
            tell(kSaveBlankMessage);
            return;
        case SaveInputCheck::NoNameToken:
            tell(kSaveFormatMessage);
            return;
        case SaveInputCheck::AskOverwrite:
            if (MessageBoxW(hwnd_, platform::ToWide(kSaveOverwriteQuestion).c_str(),
                            platform::ToWide(kSaveOverwriteCaption).c_str(),
                            MB_YESNO | MB_ICONQUESTION) != IDYES)
                return;
            break;
        case SaveInputCheck::Accepted:
            break;
    }
    path = std::move(new_path);
    format = std::move(new_format);
    selected_only = IsDlgButtonChecked(hwnd_, IDC_SAVE_SELECTED) == BST_CHECKED;
    End(IDOK);
}

void OnSaveResultsAs(HWND owner, CListCtrlEx& list) {
    CSaveResultsDlg dialog;
    dialog.path = DefaultSavePath(DocumentsFolder());
    if (dialog.DoModal(owner) != IDOK) return;
    const ui::WaitCursor wait;
    list.SaveResults(dialog.path, dialog.format, dialog.selected_only);
}

}  // namespace corvella
