// A check box drawn with the visual theme's check-box part and its caption straight on the
// dialog's background.
//
// Subclassing makes the check box owner-drawn, so the control no longer keeps its tick: the
// object does, toggling it when the control reports a click and before the dialog hears of that
// click. BM_GETCHECK and BM_SETCHECK read and set the object's tick, as for any check box.
#pragma once

#include <windows.h>
// The theme declarations build on <windows.h>.
#include <uxtheme.h>

#include "controls/mouse_hover_win.h"
#include "ui/subclassed_wnd.h"

namespace corvella {

class CTransCheck final : public ui::SubclassedWnd {
  public:
    ~CTransCheck() override;

    bool checked() const { return checked_ == 1; }
    void SetChecked(bool checked);

    std::optional<LRESULT> OnReflected(UINT message, WPARAM wparam, LPARAM lparam) override;

  protected:
    void PreSubclass() override;
    LRESULT WindowProc(UINT message, WPARAM wparam, LPARAM lparam) override;

  private:
    void OpenTheme();
    void CloseTheme();
    void Draw(const DRAWITEMSTRUCT& item) const;

    HTHEME theme_ = nullptr;  // null without visual styles: the classic check box is drawn
    MouseHover hover_;
    int checked_ = 0;  // 1 = ticked
};

}  // namespace corvella
