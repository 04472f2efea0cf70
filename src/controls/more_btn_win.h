// CMoreBtn: an owner-drawn push button with an icon above its caption and a highlight under the
// mouse. It paints no background of its own outside its drawing: the parent's gradient shows
// around it.
#pragma once

#include <windows.h>

#include "controls/mouse_hover_win.h"
#include "ui/gdi.h"
#include "ui/subclassed_wnd.h"

namespace corvella {

class CMoreBtn : public ui::SubclassedWnd {
  public:
    // Takes `icon`; the previous one is destroyed. `hover_icon_size` is used under the mouse
    // while the button is not pressed.
    void SetButtonIcon(HICON icon, int icon_size, int hover_icon_size);

    bool hover() const { return hover_.inside(); }

  protected:
    void PreSubclass() override;
    LRESULT WindowProc(UINT message, WPARAM wparam, LPARAM lparam) override;
    std::optional<LRESULT> OnReflected(UINT message, WPARAM wparam, LPARAM lparam) override;

  private:
    void Draw(const DRAWITEMSTRUCT& item) const;

    MouseHover hover_;
    ui::Icon icon_;
    int icon_size_ = 0;
    int hover_icon_size_ = 0;
};

}  // namespace corvella
