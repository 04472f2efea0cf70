// CToolbarBtn: one quick button, an owner-drawn button window that it creates and destroys
// itself, with its icon, a larger icon under the mouse, and the entry index it stands for.
#pragma once

#include <windows.h>

#include "controls/mouse_hover_win.h"
#include "ui/gdi.h"
#include "ui/subclassed_wnd.h"

namespace corvella {

class CToolbarBtn : public ui::SubclassedWnd {
  public:
    CToolbarBtn() = default;
    ~CToolbarBtn() override { Destroy(); }

    // A hidden child of `parent` with the caption `text`, control id `id` and `font`.
    bool Create(HWND parent, const wchar_t* text, int id, HFONT font);
    void Destroy();

    // Takes both icons (either may be null: nothing is drawn in its place).
    void SetIcons(HICON normal, int normal_size, HICON hover, int hover_size);
    HICON normal_icon() const { return normal_.get(); }
    HICON hover_icon() const { return hover_.get(); }

    int index() const { return index_; }
    void set_index(int index) { index_ = index; }

  protected:
    LRESULT WindowProc(UINT message, WPARAM wparam, LPARAM lparam) override;
    std::optional<LRESULT> OnReflected(UINT message, WPARAM wparam, LPARAM lparam) override;

  private:
    MouseHover hot_;
    int index_ = -1;
    ui::Icon normal_, hover_;
    int normal_size_ = 0, hover_size_ = 0;
};

// An icon file loaded at `size` pixels; null when it is missing or not an icon.
HICON LoadIconFile(const std::wstring& path, int size);

}  // namespace corvella
