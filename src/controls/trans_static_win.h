// A static text painted straight on its dialog's background in one of four text styles: plain,
// red, a blue underlined link-like line, bold.
#pragma once

#include <windows.h>

#include "ui/subclassed_wnd.h"

namespace corvella {

class CTransStatic final : public ui::SubclassedWnd {
  public:
    // 0 plain black, 1 red, 2 blue and underlined, 3 bold; any other value underlined in the
    // colour the device context has. Set once, after the control is subclassed or before.
    void SetTextStyle(int text_style);

  protected:
    LRESULT WindowProc(UINT message, WPARAM wparam, LPARAM lparam) override;

  private:
    void Paint(HDC dc) const;

    int text_style_ = 0;
};

}  // namespace corvella
