// The main window's side of the quick buttons: running a button's search, and the editor.
#include "app/main_dlg_win.h"
#include "quickbuttons/edit_toolbar_dlg_win.h"

namespace corvella {

void CMainDlg::OnRunQuickButton(WPARAM index) {
    // A position the page does not hold (kNoQuickButton among them) runs nothing.
    const QuickButtonDef* button = quick_page_.Entry(index);
    if (!button || !runner_) return;
    // The search box keeps its text: the button's pattern is not the user's typing.
    runner_->StartSearch(button->pattern, QuickSearchLocation(button->location, LocationText()));
}

void CMainDlg::OnCustomizeToolbar() {
    CEditToolbarDlg editor(paths_.settings);
    if (editor.DoModal(hwnd_) != IDOK) return;
    // Saved: the bar shows the section as it now stands in the file.
    quick_page_.DestroyButtons();
    quick_page_.LoadButtons();
}

}  // namespace corvella
