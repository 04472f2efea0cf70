// What the two quick-button editor dialogs share: the program's gradient behind their controls,
// Enter that never closes them (Escape cancels, as in any dialog), picking an icon file, and a
// button's two icons loaded as the bar loads them.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "quickbuttons/toolbar_btn_win.h"
#include "ui/dialog.h"
#include "ui/gdi.h"

namespace corvella {

class EditorDialog : public ui::Dialog {
  public:
    using ui::Dialog::Dialog;
    bool PreTranslateMessage(MSG& message) override;

  protected:
    std::optional<LRESULT> OnMessage(UINT message, WPARAM wparam, LPARAM lparam) override;

    std::wstring ItemText(int id) const { return Item(id).Text(); }
    // The file-open dialog for an icon; nothing when it is cancelled.
    std::optional<std::wstring> AskForIconFile() const;
};

// A button's icon at the bar's two sizes for this window's scale.
struct ButtonIcons {
    ui::Icon normal, hover;
    int normal_size = 0, hover_size = 0;

    // Both sizes from `path`; false (and nothing held) unless both load.
    bool LoadBoth(const std::wstring& path, HWND window);
    // Loads what it can: a missing or damaged file leaves the button without an icon.
    void LoadAny(const std::wstring& path, HWND window);
    // Copies to `button`, which takes them.
    void CopyTo(CToolbarBtn& button) const;
};

}  // namespace corvella
