// CAddTBButtonDlg, "Add Toolbar Button": collects one new quick button for Customize Toolbar.
// Data out: after Add (IDOK), `button` holds what was entered.
#pragma once

#include "quickbuttons/editor_dialog_win.h"
#include "quickbuttons/toolbar_section.h"

namespace corvella {

class CAddTBButtonDlg final : public EditorDialog {
  public:
    CAddTBButtonDlg();

    QuickButtonDef button;

  protected:
    bool OnInitDialog() override;
    bool OnCommand(int id, int code, HWND control) override;

  private:
    void OnBrowseIcon();
    void OnBrowseLocation();

    ButtonIcons icons_;  // the preview's, kept while the dialog runs
    CToolbarBtn preview_;
};

}  // namespace corvella
