#include "quickbuttons/editor_dialog_win.h"

#include <commdlg.h>

#include "controls/gradient_win.h"
#include "quickbuttons/quick_bar_layout.h"
#include "ui/dpi.h"

namespace corvella {

bool EditorDialog::PreTranslateMessage(MSG& message) {
    return IsEnterKey(message);
}

std::optional<LRESULT> EditorDialog::OnMessage(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_ERASEBKGND:
            FillDialogBackground(reinterpret_cast<HDC>(wparam), ClientRect());
            return TRUE;
        case WM_CTLCOLORSTATIC:
            // The labels show the gradient behind them.
            SetBkMode(reinterpret_cast<HDC>(wparam), TRANSPARENT);
            return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
    }
    return ui::Dialog::OnMessage(message, wparam, lparam);
}

std::optional<std::wstring> EditorDialog::AskForIconFile() const {
    wchar_t file[32768] = L"*.ico";
    OPENFILENAMEW open{};
    open.lStructSize = sizeof open;
    open.hwndOwner = hwnd_;
    open.lpstrFile = file;
    open.nMaxFile = static_cast<DWORD>(std::size(file));
    open.lpstrDefExt = L"ico";
    // The current folder stays the program's: relative icon paths, the help page and the stored
    // paths' ".\" rule all count from it, and the dialog would otherwise move it to the icon's.
    open.Flags = OFN_HIDEREADONLY | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
    if (!GetOpenFileNameW(&open)) return std::nullopt;
    return std::wstring(file);
}

bool ButtonIcons::LoadBoth(const std::wstring& path, HWND window) {
    const QuickBarMetrics metrics = ScaledQuickBarMetrics(ui::DpiOf(window));
    ui::Icon small(LoadIconFile(path, metrics.icon));
    if (!small) return false;
    ui::Icon large(LoadIconFile(path, metrics.hover_icon));
    if (!large) return false;  // the first goes with `small`
    normal = std::move(small);
    hover = std::move(large);
    normal_size = metrics.icon;
    hover_size = metrics.hover_icon;
    return true;
}

void ButtonIcons::LoadAny(const std::wstring& path, HWND window) {
    const QuickBarMetrics metrics = ScaledQuickBarMetrics(ui::DpiOf(window));
    normal = ui::Icon(LoadIconFile(path, metrics.icon));
    hover = ui::Icon(LoadIconFile(path, metrics.hover_icon));
    normal_size = metrics.icon;
    hover_size = metrics.hover_icon;
}

void ButtonIcons::CopyTo(CToolbarBtn& button) const {
    button.SetIcons(normal ? CopyIcon(normal.get()) : nullptr, normal_size,
                    hover ? CopyIcon(hover.get()) : nullptr, hover_size);
}

}  // namespace corvella
