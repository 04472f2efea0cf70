// The main window's side of the search histories: the pattern and location boxes' drop-down lists
// filled at start-up, changed after each search by the Search button or Enter, and emptied by the
// two Clean commands. search_history.cpp decides every change; this file shows it in the boxes.
#include "app/main_dlg_win.h"
#include "platform/text_win.h"
#include "resource.h"
#include "ui/controls.h"

namespace corvella {

namespace {

void ApplyToBox(const ui::ComboBox& box, const HistoryEdit& edit) {
    if (edit.removed >= 0) box.Delete(edit.removed);
    if (edit.inserted_at < 0) return;
    box.Insert(edit.inserted_at, platform::ToWide(edit.text).c_str());
    // Selecting writes the entry into the edit field, where the same text stands already.
    if (edit.select) box.Select(edit.inserted_at);
}

// Deletes the history entries from the bottom up, so that the edit field keeps its text.
void EmptyBox(const ui::ComboBox& box, int keep) {
    for (int i = box.Count() - 1; i >= keep; --i) box.Delete(i);
}

}  // namespace

void CMainDlg::LoadHistories() {
    patterns_ = SearchHistory::Load(HistoryKind::Patterns, paths_.settings);
    locations_ = SearchHistory::Load(HistoryKind::Locations, paths_.settings);
    for (const auto& [history, id] :
         {std::pair{&patterns_, IDC_PATTERN}, {&locations_, IDC_LOCATION}}) {
        const ui::ComboBox box(Item(id).hwnd());
        // Inserted at explicit places, so that a sorted box keeps the history's order.
        for (const std::u16string& entry : history->entries())
            box.Insert(box.Count(), platform::ToWide(entry).c_str());
    }
}

void CMainDlg::AddHistories(const std::u16string& pattern, const std::u16string& location) {
    ApplyToBox(ui::ComboBox(Item(IDC_PATTERN).hwnd()), patterns_.Add(pattern));
    patterns_.Store(paths_.settings);
    const HistoryEdit edit = locations_.Add(location);
    ApplyToBox(ui::ComboBox(Item(IDC_LOCATION).hwnd()), edit);
    if (edit.store) locations_.Store(paths_.settings);
}

void CMainDlg::OnCleanSearchHistory() {
    EmptyBox(ui::ComboBox(Item(IDC_PATTERN).hwnd()), patterns_.fixed_entries());
    patterns_.Clean();
    patterns_.Store(paths_.settings);
}

void CMainDlg::OnCleanLocationHistory() {
    EmptyBox(ui::ComboBox(Item(IDC_LOCATION).hwnd()), locations_.fixed_entries());
    locations_.Clean();
    locations_.Store(paths_.settings);
}

}  // namespace corvella
