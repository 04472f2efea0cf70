#include "quickbuttons/edit_toolbar_dlg_win.h"

#include "app/browse_for_folder_win.h"
#include "app/error_box.h"
#include "platform/text_win.h"
#include "quickbuttons/add_tb_button_dlg_win.h"
#include "resource.h"

namespace corvella {

namespace {

std::u16string U16(const std::wstring& text) {
    return platform::FromWide(text.data(), text.size());
}

}  // namespace

CEditToolbarDlg::CEditToolbarDlg(std::u16string settings)
    : EditorDialog(IDD_EDIT_TOOLBAR), settings_(std::move(settings)) {}

bool CEditToolbarDlg::OnInitDialog() {
    preview_.SubclassItem(hwnd_, IDC_TB_PREVIEW);
    const ui::Wnd list = Item(IDC_TB_LIST);
    for (QuickButtonDef& def : ReadToolbarSection(settings_)) {
        Entry entry{std::move(def), {}};
        entry.icons.LoadAny(platform::ToWide(entry.def.icon_path), hwnd_);
        list.SendMsg(LB_ADDSTRING, 0,
                     reinterpret_cast<LPARAM>(platform::ToWide(entry.def.label).c_str()));
        entries_.push_back(std::move(entry));
    }
    if (!entries_.empty()) list.SendMsg(LB_SETCURSEL, 0);
    ShowSelection();
    return true;
}

int CEditToolbarDlg::Selected() const {
    const int index = static_cast<int>(Item(IDC_TB_LIST).SendMsg(LB_GETCURSEL));
    return index >= 0 && index < static_cast<int>(entries_.size()) ? index : -1;
}

void CEditToolbarDlg::Select(int index) {
    Item(IDC_TB_LIST).SendMsg(LB_SETCURSEL, index);
    ShowSelection();
}

void CEditToolbarDlg::ShowSelection() {
    // The section holds at most kMaxQuickButtons; more could not be saved.
    Item(IDC_TB_ADD).Enable(entries_.size() < size_t(kMaxQuickButtons));
    const int index = Selected();
    showing_ = true;
    if (index >= 0) {
        const Entry& entry = entries_[index];
        entry.icons.CopyTo(preview_);
        preview_.SetText(platform::ToWide(entry.def.label));
        Item(IDC_TB_TEXT).SetText(platform::ToWide(entry.def.label));
        Item(IDC_TB_ACTION).SetText(platform::ToWide(entry.def.pattern));
        Item(IDC_TB_LOCATION).SetText(platform::ToWide(entry.def.location));
    } else {
        preview_.SetIcons(nullptr, 0, nullptr, 0);
        preview_.SetText(L"TestBtn");
        Item(IDC_TB_TEXT).SetText(L"TestBtn");
        Item(IDC_TB_ACTION).SetText(L"*");
        Item(IDC_TB_LOCATION).SetText(L"DEFAULT");
    }
    showing_ = false;
    preview_.Invalidate(false);
}

void CEditToolbarDlg::ReplaceLine(int index) {
    const ui::Wnd list = Item(IDC_TB_LIST);
    list.SendMsg(LB_DELETESTRING, index);
    list.SendMsg(LB_INSERTSTRING, index,
                 reinterpret_cast<LPARAM>(platform::ToWide(entries_[index].def.label).c_str()));
    list.SendMsg(LB_SETCURSEL, index);
}

void CEditToolbarDlg::OnTextEdited(int id) {
    const int index = Selected();
    if (showing_ || index < 0) return;
    const std::wstring text = ItemText(id);
    QuickButtonDef& def = entries_[index].def;
    if (id == IDC_TB_TEXT) {
        def.label = U16(text);
        preview_.SetText(text);
        preview_.Invalidate(false);
        ReplaceLine(index);
    } else if (id == IDC_TB_ACTION) {
        def.pattern = U16(text);
    } else {
        def.location = U16(text);
    }
}

void CEditToolbarDlg::OnBrowseIcon() {
    const std::optional<std::wstring> file = AskForIconFile();
    const int index = Selected();
    if (!file || index < 0) return;
    // A file that does not give both sizes leaves the entry as it was.
    ButtonIcons chosen;
    if (!chosen.LoadBoth(*file, hwnd_)) return;
    Entry& entry = entries_[index];
    entry.icons = std::move(chosen);
    entry.def.icon_path = U16(*file);
    entry.icons.CopyTo(preview_);
    preview_.Invalidate(false);
}

void CEditToolbarDlg::OnBrowseLocation() {
    const std::wstring chosen = BrowseForFolder(L"Select Folder");
    Item(IDC_TB_LOCATION).SetText(chosen.empty() ? L"My Computer" : chosen.c_str());
    if (const int index = Selected(); index >= 0)
        entries_[index].def.location = U16(ItemText(IDC_TB_LOCATION));
}

void CEditToolbarDlg::OnMove(int by) {
    const int from = Selected(), to = from + by;
    if (from < 0 || to < 0 || to >= static_cast<int>(entries_.size())) return;
    Entry moved = std::move(entries_[from]);
    entries_.erase(entries_.begin() + from);
    entries_.insert(entries_.begin() + to, std::move(moved));
    const ui::Wnd list = Item(IDC_TB_LIST);
    list.SendMsg(LB_DELETESTRING, from);
    list.SendMsg(LB_INSERTSTRING, to,
                 reinterpret_cast<LPARAM>(platform::ToWide(entries_[to].def.label).c_str()));
    Select(to);
}

void CEditToolbarDlg::OnDelete() {
    const int index = Selected();
    if (index < 0) return;
    Item(IDC_TB_LIST).SendMsg(LB_DELETESTRING, index);
    entries_.erase(entries_.begin() + index);
    const int count = static_cast<int>(entries_.size());
    Select(index < count ? index : count - 1);
}

void CEditToolbarDlg::OnAdd() {
    CAddTBButtonDlg add;
    if (add.DoModal(hwnd_) != IDOK) return;
    Entry entry{add.button, {}};
    entry.icons.LoadAny(platform::ToWide(entry.def.icon_path), hwnd_);
    Item(IDC_TB_LIST).SendMsg(LB_ADDSTRING, 0,
                              reinterpret_cast<LPARAM>(platform::ToWide(entry.def.label).c_str()));
    entries_.push_back(std::move(entry));
    Select(static_cast<int>(entries_.size()) - 1);
}

void CEditToolbarDlg::OnSave() {
    std::vector<QuickButtonDef> buttons;
    for (const Entry& entry : entries_) buttons.push_back(entry.def);
    std::wstring folder(32768, L'\0');
    folder.resize(GetCurrentDirectoryW(static_cast<DWORD>(folder.size()), folder.data()));
    if (!WriteToolbarSection(settings_, buttons, U16(folder))) {
        // The section on disk is as it was; the dialog stays, so nothing typed is lost.
        ShowErrorBox(u"Can not save the toolbar buttons to \"" + settings_ +
                     u"\"! The file may be read-only or used by another program.");
        return;
    }
    End(IDOK);
}

bool CEditToolbarDlg::OnCommand(int id, int code, HWND control) {
    switch (id) {
        case IDC_TB_LIST:
            if (code == LBN_SELCHANGE) ShowSelection();
            return true;
        case IDC_TB_TEXT:
        case IDC_TB_ACTION:
        case IDC_TB_LOCATION:
            if (code == EN_CHANGE) OnTextEdited(id);
            return true;
    }
    if (code != BN_CLICKED) return false;
    switch (id) {
        case IDC_TB_ICON_BROWSE:
            OnBrowseIcon();
            return true;
        case IDC_TB_LOCATION_BROWSE:
            OnBrowseLocation();
            return true;
        case IDC_TB_UP:
            OnMove(-1);
            return true;
        case IDC_TB_DOWN:
            OnMove(+1);
            return true;
        case IDC_TB_DEL:
            OnDelete();
            return true;
        case IDC_TB_ADD:
            OnAdd();
            return true;
        case IDC_TB_SAVE:
            OnSave();
            return true;
        case IDC_TB_CANCEL:
            End(IDCANCEL);
            return true;
    }
    return false;
}

}  // namespace corvella
