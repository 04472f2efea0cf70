// The quick-button controls on real windows: what a click does to them and what their owner hears.
#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "controls/more_btn_win.h"
#include "quickbuttons/toolbar_btn_win.h"
#include "support/dialog_win.h"
#include "ui/dialog.h"

namespace corvella {
namespace {

// A modeless dialog without controls of its own, counting the clicks its buttons report.
class Host : public ui::Dialog {
  public:
    Host() : ui::Dialog(test::EmptyDialog()) { EXPECT_TRUE(Create()); }
    std::vector<int> clicks;  // the id of each BN_CLICKED, in order

    HWND AddButton(DWORD style, int id) {
        return test::AddControl(hwnd_, L"BUTTON", id, style, {0, 0, 60, 60});
    }

  protected:
    bool OnCommand(int id, int code, HWND) override {
        if (code == BN_CLICKED) clicks.push_back(id);
        return code == BN_CLICKED;
    }
};

// A click as the mouse makes it; `twice` makes the second press a double click.
void Click(HWND button, bool twice = false) {
    SendMessageW(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    SendMessageW(button, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    if (!twice) return;
    SendMessageW(button, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(5, 5));
    SendMessageW(button, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
}

TEST(MoreButton, DrawsItselfAndEveryClickStillReachesTheOwner) {
    Host host;
    CMoreBtn more;
    ASSERT_TRUE(more.Subclass(host.AddButton(BS_PUSHBUTTON, 1)));
    EXPECT_EQ(more.Style() & BS_TYPEMASK, BS_OWNERDRAW);
    Click(more.hwnd());
    Click(more.hwnd());
    EXPECT_EQ(host.clicks, (std::vector<int>{1, 1}));
}

TEST(QuickButton, ADoubleClickIsTwoClicks) {
    Host host;
    CToolbarBtn button;
    ASSERT_TRUE(button.Create(host.hwnd(), L"Music", 2000, nullptr));
    EXPECT_FALSE(button.IsVisible());  // placed and shown by the layout only
    SetWindowPos(button.hwnd(), nullptr, 0, 0, 60, 60, SWP_NOZORDER | SWP_SHOWWINDOW);
    Click(button.hwnd(), true);
    EXPECT_EQ(host.clicks, (std::vector<int>{2000, 2000}));
}

}  // namespace
}  // namespace corvella
