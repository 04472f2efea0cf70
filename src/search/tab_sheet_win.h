// The tab control at the top of the main window and the pages it shows, one at a time.
//
// The sheet subclasses the main window's tab control. Pages are added first, then created
// together as child dialogs of the control, placed below the tabs and shown by the tab that is
// selected. The sheet draws its own tabs: the shown one white and etched, the one under the mouse
// white, the others grey.
#pragma once

#include <windows.h>

#include <optional>
#include <vector>

#include "search/option_page_win.h"
#include "ui/subclassed_wnd.h"

namespace corvella {

class CTabSheet final : public ui::SubclassedWnd {
  public:
    static constexpr int kMaxPages = 16;

    // Appends a page with its tab's title, which must outlive the sheet. False when the sheet
    // holds kMaxPages already, or once the pages are created.
    bool AddPage(const wchar_t* title, OptionPage& page);
    // Creates every page from its template, one tab each, and shows the first. Pages that cannot
    // be created get no tab. Once, after the control is subclassed.
    void CreatePages();

    int page_count() const { return static_cast<int>(pages_.size()); }
    // The page behind tab `index`, if there is one.
    OptionPage* page(int index) const;
    int shown() const { return shown_; }

    std::optional<LRESULT> OnReflected(UINT message, WPARAM wparam, LPARAM lparam) override;

  protected:
    void PreSubclass() override;
    LRESULT WindowProc(UINT message, WPARAM wparam, LPARAM lparam) override;

  private:
    struct Page {
        const wchar_t* title;
        OptionPage* page;
    };

    void ShowPage(int index);
    void OnMouseMove(POINT at);
    void SetHot(int index);
    void DrawTab(const DRAWITEMSTRUCT& item) const;

    std::vector<Page> pages_;
    bool created_ = false;
    int shown_ = -1;
    int hot_ = -1;  // the tab under the mouse
};

}  // namespace corvella
