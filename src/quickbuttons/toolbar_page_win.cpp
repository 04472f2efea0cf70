#include "quickbuttons/toolbar_page_win.h"

#include "platform/text_win.h"
#include "resource.h"
#include "ui/dpi.h"

namespace corvella {

CToolbarPage::CToolbarPage() : OptionPage(IDD_QUICK_BUTTONS) {}

CToolbarPage::~CToolbarPage() {
    if (overflow_menu_) DestroyMenu(overflow_menu_);
}

bool CToolbarPage::OnInitDialog() {
    LoadButtons();
    return OptionPage::OnInitDialog();
}

void CToolbarPage::OnDestroy() {
    DestroyButtons();
}

void CToolbarPage::LoadButtons() {
    if (!hwnd_) return;
    const QuickBarMetrics metrics = ScaledQuickBarMetrics(ui::DpiOf(hwnd_));
    const HFONT font = Font();
    for (QuickButtonDef& def : ReadToolbarSection(settings_)) {
        auto button = std::make_unique<CToolbarBtn>();
        const std::wstring label = platform::ToWide(def.label);
        if (!button->Create(hwnd_, label.c_str(), kQuickButtonId, font)) continue;
        const std::wstring icon = platform::ToWide(def.icon_path);
        button->SetIcons(LoadIconFile(icon, metrics.icon), metrics.icon,
                         LoadIconFile(icon, metrics.hover_icon), metrics.hover_icon);
        button->set_index(static_cast<int>(entries_.size()));
        entries_.push_back({std::move(def), std::move(button)});
    }
    const HWND more = CreateWindowExW(0, L"BUTTON", L" ", WS_CHILD | BS_PUSHBUTTON, 0, 0, 0, 0,
                                      hwnd_, reinterpret_cast<HMENU>(INT_PTR(kOverflowButtonId)),
                                      GetModuleHandleW(nullptr), nullptr);
    if (more && overflow_.Subclass(more)) {
        overflow_.SetFont(font, false);
        overflow_.SetButtonIcon(
            static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_MORE),
                                          IMAGE_ICON, metrics.overflow_icon,
                                          metrics.overflow_icon, 0)),
            metrics.overflow_icon, metrics.overflow_icon);
    } else if (more) {
        DestroyWindow(more);
    }
    LayoutButtons();
}

void CToolbarPage::DestroyButtons() {
    entries_.clear();  // each button destroys its window
    if (const HWND more = overflow_.hwnd()) DestroyWindow(more);  // which lets go of the object
}

void CToolbarPage::LayoutButtons() {
    if (!hwnd_) return;
    if (!overflow_menu_) overflow_menu_ = CreatePopupMenu();
    if (overflow_menu_)
        while (GetMenuItemCount(overflow_menu_) > 0) DeleteMenu(overflow_menu_, 0, MF_BYPOSITION);

    const RECT client = ClientRect();
    const QuickBarMetrics metrics = ScaledQuickBarMetrics(ui::DpiOf(hwnd_));
    const QuickBarLayout layout =
        LayoutQuickBar(client.left, client.right, static_cast<int>(entries_.size()), metrics);
    for (size_t i = 0; i < entries_.size(); ++i) {
        const CToolbarBtn& button = *entries_[i].button;
        SetWindowPos(button.hwnd(), nullptr, layout.x[i], 0, metrics.button, metrics.button,
                     SWP_NOZORDER | SWP_NOACTIVATE |
                         (layout.shown[i] ? SWP_SHOWWINDOW : SWP_HIDEWINDOW));
    }
    for (int i : layout.overflow) {
        if (!overflow_menu_) break;
        const std::wstring label = platform::ToWide(entries_[i].def.label);
        AppendMenuW(overflow_menu_, MF_STRING, kOverflowMenuFirstId + i, label.c_str());
    }
    if (overflow_.hwnd())
        SetWindowPos(overflow_.hwnd(), HWND_TOP, layout.overflow_x, 0, layout.overflow_width,
                     layout.overflow_height,
                     SWP_NOACTIVATE | (layout.overflow_shown ? SWP_SHOWWINDOW : SWP_HIDEWINDOW));
    Invalidate(true);
}

const QuickButtonDef* CToolbarPage::Entry(WPARAM index) const {
    return index < entries_.size() ? &entries_[index].def : nullptr;
}

void CToolbarPage::RunButton(size_t index) const {
    if (index >= entries_.size()) return;
    SendMessageW(GetAncestor(hwnd_, GA_ROOT), kRunQuickButton, index, 0);
}

void CToolbarPage::ShowOverflowMenu() const {
    if (!overflow_menu_) return;
    POINT at;
    GetCursorPos(&at);
    TrackPopupMenu(overflow_menu_, TPM_RIGHTBUTTON, at.x, at.y, 0, hwnd_, nullptr);
}

bool CToolbarPage::OnCommand(int id, int code, HWND control) {
    if (id == kQuickButtonId) {
        if (code != BN_CLICKED) return true;
        if (auto* button = dynamic_cast<CToolbarBtn*>(ui::SubclassedWnd::FromHandle(control)))
            RunButton(static_cast<size_t>(button->index()));
        return true;
    }
    if (id == kOverflowButtonId) {
        if (code == BN_CLICKED) ShowOverflowMenu();
        return true;
    }
    if (id >= kOverflowMenuFirstId && code == 0 && control == nullptr) {
        RunButton(static_cast<size_t>(id - kOverflowMenuFirstId));
        return true;
    }
    return false;
}

}  // namespace corvella
