#include "quickbuttons/add_tb_button_dlg_win.h"

#include "app/browse_for_folder_win.h"
#include "platform/text_win.h"
#include "resource.h"

namespace corvella {

namespace {

std::u16string U16(const std::wstring& text) {
    return platform::FromWide(text.data(), text.size());
}

}  // namespace

CAddTBButtonDlg::CAddTBButtonDlg() : EditorDialog(IDD_ADD_TB_BUTTON) {}

bool CAddTBButtonDlg::OnInitDialog() {
    preview_.SubclassItem(hwnd_, IDC_ADD_PREVIEW);
    button = DefaultQuickButton();
    button.label = u"NewBtn";
    icons_.LoadAny(platform::ToWide(button.icon_path), hwnd_);
    icons_.CopyTo(preview_);
    // The edits' change notices copy their texts into `button`.
    Item(IDC_ADD_TEXT).SetText(L"NewBtn");
    Item(IDC_ADD_LOCATION).SetText(L"DEFAULT");
    Item(IDC_ADD_ACTION).SetText(L"*.mp3");
    return true;
}

bool CAddTBButtonDlg::OnCommand(int id, int code, HWND control) {
    switch (id) {
        case IDC_ADD_TEXT:
            if (code == EN_CHANGE) {
                const std::wstring text = ItemText(id);
                button.label = U16(text);
                preview_.SetText(text);
                preview_.Invalidate(false);
            }
            return true;
        case IDC_ADD_ACTION:
            if (code == EN_CHANGE) button.pattern = U16(ItemText(id));
            return true;
        case IDC_ADD_LOCATION:
            if (code == EN_CHANGE) button.location = U16(ItemText(id));
            return true;
        case IDC_ADD_ICON_BROWSE:
            if (code == BN_CLICKED) OnBrowseIcon();
            return true;
        case IDC_ADD_LOCATION_BROWSE:
            if (code == BN_CLICKED) OnBrowseLocation();
            return true;
        case IDC_ADD_ADD:
            if (code == BN_CLICKED) End(IDOK);
            return true;
        case IDC_ADD_CANCEL:
            if (code == BN_CLICKED) End(IDCANCEL);
            return true;
    }
    return false;
}

void CAddTBButtonDlg::OnBrowseIcon() {
    const std::optional<std::wstring> file = AskForIconFile();
    if (!file) return;
    // The path is taken even when it loads no icon: the new button then shows none.
    button.icon_path = U16(*file);
    ButtonIcons chosen;
    if (!chosen.LoadBoth(*file, hwnd_)) return;
    icons_ = std::move(chosen);
    icons_.CopyTo(preview_);
    preview_.Invalidate(false);
}

void CAddTBButtonDlg::OnBrowseLocation() {
    const std::wstring chosen = BrowseForFolder(L"Select Folder");
    const std::wstring location = chosen.empty() ? L"My Computer" : chosen;
    Item(IDC_ADD_LOCATION).SetText(location);
    button.location = U16(location);
}

}  // namespace corvella
