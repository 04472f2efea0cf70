// CEditToolbarDlg, "Customize Toolbar": the quick buttons of the settings file in a list, the
// selected one's label, pattern, location and icon to change, the order to change, buttons to
// delete and add. It works on its own copy; Save writes the whole section in one go and closes
// with IDOK, after which the owner rebuilds the bar from the file.
#pragma once

#include <string>
#include <vector>

#include "quickbuttons/editor_dialog_win.h"
#include "quickbuttons/toolbar_section.h"

namespace corvella {

class CEditToolbarDlg final : public EditorDialog {
  public:
    explicit CEditToolbarDlg(std::u16string settings);

  protected:
    bool OnInitDialog() override;
    bool OnCommand(int id, int code, HWND control) override;

  private:
    struct Entry {
        QuickButtonDef def;
        ButtonIcons icons;
    };

    int Selected() const;
    void Select(int index);
    // The selected entry in the preview and the edits, or the blank look when none is.
    void ShowSelection();
    void ReplaceLine(int index);
    void OnTextEdited(int id);
    void OnBrowseIcon();
    void OnBrowseLocation();
    void OnMove(int by);
    void OnDelete();
    void OnAdd();
    void OnSave();

    std::u16string settings_;
    std::vector<Entry> entries_;
    CToolbarBtn preview_;
    bool showing_ = false;  // the edits are being filled, not typed into
};

}  // namespace corvella
