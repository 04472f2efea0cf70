// "Save Results": the file path, the line format and whether only the selected rows are saved.
// Made anew for each command, so its defaults apply every time.
#pragma once

#include <windows.h>

#include <string>

#include "ui/dialog.h"

namespace corvella {

class CListCtrlEx;

class CSaveResultsDlg final : public ui::Dialog {
  public:
    CSaveResultsDlg();

    // In: what the dialog shows. Out, after IDOK: the checked, trimmed values.
    std::u16string path;
    std::u16string format = u"[FILEDIR][FILENAME]";
    bool selected_only = false;

  protected:
    bool OnInitDialog() override;
    void OnOK() override;
    bool OnCommand(int id, int code, HWND control) override;

  private:
    void OnBrowse();
    std::u16string EditText(int id) const;
};

// The "Save Results As.." command: the dialog, then the list's rows written and shown.
void OnSaveResultsAs(HWND owner, CListCtrlEx& list);

}  // namespace corvella
