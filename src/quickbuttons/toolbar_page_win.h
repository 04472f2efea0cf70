// CToolbarPage: the "Quick Buttons" page. It holds one button per saved search of the settings
// file, side by side, and an overflow button with a menu for those that do not fit the page's
// width. A click on a button, or on its line in the menu, asks the main window to run that
// button's search (kRunQuickButton); the main window reads the button's search back from here.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "controls/more_btn_win.h"
#include "quickbuttons/quick_bar_layout.h"
#include "quickbuttons/toolbar_btn_win.h"
#include "quickbuttons/toolbar_section.h"
#include "search/option_page_win.h"

namespace corvella {

// Sent to the main window: run the search of quick button wParam (kNoQuickButton: none).
inline constexpr UINT kRunQuickButton = WM_APP + 5;
inline constexpr WPARAM kNoQuickButton = 10000;

// Control ids of the page's windows made at run time.
inline constexpr int kQuickButtonId = 2000;
inline constexpr int kOverflowButtonId = 2001;
inline constexpr int kOverflowMenuFirstId = 2010;

class CToolbarPage final : public OptionPage {
  public:
    CToolbarPage();
    ~CToolbarPage() override;

    // The settings file the buttons are read from; before the page is created.
    void set_settings(std::u16string settings) { settings_ = std::move(settings); }

    // Reads the section and makes the buttons, then lays them out.
    void LoadButtons();
    // Destroys every button and the overflow button.
    void DestroyButtons();
    // Places the buttons for the page's width and refills the overflow menu.
    void LayoutButtons();

    // Quick button `index`, if there is one.
    const QuickButtonDef* Entry(WPARAM index) const;
    size_t size() const { return entries_.size(); }

  protected:
    bool OnInitDialog() override;
    bool OnCommand(int id, int code, HWND control) override;
    void OnDestroy() override;

  private:
    struct Slot {
        QuickButtonDef def;
        std::unique_ptr<CToolbarBtn> button;
    };

    void RunButton(size_t index) const;
    void ShowOverflowMenu() const;

    std::u16string settings_;
    std::vector<Slot> entries_;
    CMoreBtn overflow_;
    HMENU overflow_menu_ = nullptr;  // made at the first layout, refilled at each
};

}  // namespace corvella
