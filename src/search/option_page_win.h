// A page of the main window's tab sheet: a child dialog without caption or border that paints the
// program's gradient behind its controls and keeps Enter and Escape from acting on itself.
//
// Enter never presses anything in a page (it is swallowed before the dialog manager sees it);
// Escape does what closing the main window does. Derived pages add their controls and pass the
// messages they do not handle on to OptionPage::OnMessage. A page is made while the main window
// starts: its OnInitDialog returns false, so that the focus stays with the main window.
#pragma once

#include <windows.h>

#include "ui/dialog.h"

namespace corvella {

class OptionPage : public ui::Dialog {
  public:
    // The page made from the dialog template `template_id`, a child dialog.
    explicit OptionPage(UINT template_id) : ui::Dialog(template_id), template_id_(template_id) {}

    UINT template_id() const { return template_id_; }

    bool PreTranslateMessage(MSG& message) override;

  protected:
    bool OnInitDialog() override { return false; }
    // Enter is no command for a page, and Escape has been turned into closing the main window.
    void OnOK() override {}
    void OnCancel() override {}
    std::optional<LRESULT> OnMessage(UINT message, WPARAM wparam, LPARAM lparam) override;

  private:
    UINT template_id_;
};

}  // namespace corvella
