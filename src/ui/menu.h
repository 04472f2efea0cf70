// Menus: a wrapper of a menu handle it does not own (a submenu, the system menu), and the owner
// of a menu loaded from the executable's resources.
#pragma once

#include <windows.h>

namespace corvella::ui {

class Menu {
  public:
    Menu() = default;
    explicit Menu(HMENU menu) : menu_(menu) {}

    HMENU get() const { return menu_; }
    explicit operator bool() const { return menu_ != nullptr; }

    Menu SubMenu(int position) const { return Menu(GetSubMenu(menu_, position)); }

    // By command id. The state is GetMenuState's: MF_CHECKED, MF_GRAYED, ... or -1 (as UINT)
    // when the menu has no such command.
    UINT State(UINT command) const { return GetMenuState(menu_, command, MF_BYCOMMAND); }
    bool IsChecked(UINT command) const {
        const UINT state = State(command);
        return state != static_cast<UINT>(-1) && (state & MF_CHECKED) != 0;
    }
    void Check(UINT command, bool checked) const {
        CheckMenuItem(menu_, command, MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
    }
    void Enable(UINT command, bool enabled) const {
        EnableMenuItem(menu_, command, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
    }

    bool Append(UINT command, const wchar_t* text) const {
        return AppendMenuW(menu_, MF_STRING, command, text) != FALSE;
    }
    bool AppendSeparator() const { return AppendMenuW(menu_, MF_SEPARATOR, 0, nullptr) != FALSE; }

    // Shows the menu at `at` (screen coordinates) and returns when it closes. With
    // TPM_RETURNCMD in `flags` the result is the chosen command (0 for none); otherwise the
    // command goes to `owner` as WM_COMMAND and the result only says whether the menu showed.
    UINT_PTR TrackPopup(UINT flags, POINT at, HWND owner) const {
        return static_cast<UINT_PTR>(TrackPopupMenu(menu_, flags, at.x, at.y, 0, owner, nullptr));
    }

  private:
    HMENU menu_ = nullptr;
};

// The window's system menu (the one behind its icon and Alt+Space), as the window has it.
inline Menu SystemMenuOf(HWND window) {
    return Menu(GetSystemMenu(window, FALSE));
}
// The menu bar of a window; empty for a window without one.
inline Menu MenuBarOf(HWND window) {
    return Menu(GetMenu(window));
}

// A menu loaded from the executable's resources, destroyed with its owner. A menu attached to a
// window as its menu bar is destroyed with the window instead: Release it then.
class LoadedMenu {
  public:
    LoadedMenu() = default;
    explicit LoadedMenu(UINT resource_id) { Load(resource_id); }
    ~LoadedMenu() { Close(); }
    LoadedMenu(const LoadedMenu&) = delete;
    LoadedMenu& operator=(const LoadedMenu&) = delete;

    bool Load(UINT resource_id) {
        Close();
        menu_ = LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(resource_id));
        return menu_ != nullptr;
    }
    void Close() {
        if (menu_) DestroyMenu(menu_);
        menu_ = nullptr;
    }
    HMENU Release() {
        HMENU menu = menu_;
        menu_ = nullptr;
        return menu;
    }
    Menu menu() const { return Menu(menu_); }
    explicit operator bool() const { return menu_ != nullptr; }

  private:
    HMENU menu_ = nullptr;
};

}  // namespace corvella::ui
