// The welcome box of a first run and the two about boxes. None of them changes anything: they
// show texts and end on OK.
#pragma once

#include <windows.h>

#include "controls/trans_static_win.h"
#include "ui/dialog.h"

namespace corvella {

// Centres a box over its owner, or on the screen while the owner does not show (as at start-up).
void CentreOverOwner(HWND box);

// A dialog painted from white at the top to the program's light grey at the bottom; its texts
// are transparent statics (CTransStatic) drawn straight onto that background.
class GradientDialog : public ui::Dialog {
  public:
    using ui::Dialog::Dialog;

  protected:
    std::optional<LRESULT> OnMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
    // After the background: what a dialog draws over it.
    virtual void PaintOverBackground(HDC dc, const RECT& client) const {}
};

// Greets a new user: modeless, shown once by the main window on a first run.
class CWelcomeDlg final : public GradientDialog {
  public:
    CWelcomeDlg();

  protected:
    bool OnInitDialog() override;

  private:
    CTransStatic texts_[7];
};

// Help > About...: the version and the icon, a dark band down the left edge.
class CMyAboutDlg final : public GradientDialog {
  public:
    CMyAboutDlg();

  protected:
    bool OnInitDialog() override;
    void PaintOverBackground(HDC dc, const RECT& client) const override;

  private:
    CTransStatic version_;
};

// The system menu's about item: the icon and the version on a plain dialog.
class CAboutDlg final : public ui::Dialog {
  public:
    CAboutDlg();

  protected:
    bool OnInitDialog() override;
};

}  // namespace corvella
