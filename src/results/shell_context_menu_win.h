// The shell's own context menu for a set of entries of one folder, as Explorer shows it: the
// "Explorer Action" submenu of the results list's right-click menu.
//
// The menu is built only when the user opens the submenu (building it may load shell
// extensions, which is slow), into that submenu itself. Some of its items are drawn by the
// shell: while the menu is up, the owner window hands the menu messages to HandleMenuMessage.
// Every interface is released by Release, which the owner calls on every way out of the menu,
// a cancel or a failed build included; the destructor releases too.
#pragma once

#include <windows.h>
// The shell's interfaces build on <windows.h>.
#include <shlobj.h>

#include <optional>
#include <string>
#include <vector>

namespace corvella {

// The range of command ids the shell's items take; the program's own commands are above it.
inline constexpr UINT kShellFirstCommand = 1;
inline constexpr UINT kShellLastCommand = 10000;

class ShellContextMenu {
  public:
    ShellContextMenu() = default;
    ~ShellContextMenu() { Release(); }
    ShellContextMenu(const ShellContextMenu&) = delete;
    ShellContextMenu& operator=(const ShellContextMenu&) = delete;

    // The entries, by full path, all in one folder; false when the shell does not know them.
    bool SetObjects(const std::vector<std::u16string>& paths);
    // Fills `popup` (after its items) with the shell's commands for the entries; false when the
    // shell cannot give them.
    bool GetMenu(HMENU popup);
    // Carries out the chosen command when it is one of the shell's: 0 then; otherwise `id`,
    // for the owner to carry out.
    UINT InvokeCommand(HWND window, UINT id);
    // The answer to a menu message while the menu is up, for items the shell draws itself.
    std::optional<LRESULT> HandleMenuMessage(UINT message, WPARAM wparam, LPARAM lparam);
    bool active() const { return menu_ != nullptr; }
    void Release();

  private:
    IShellFolder* folder_ = nullptr;
    std::vector<PITEMID_CHILD> items_;  // each freed with CoTaskMemFree
    IContextMenu* menu_ = nullptr;
    IContextMenu2* menu2_ = nullptr;  // the same menu, when it draws items of its own
    IContextMenu3* menu3_ = nullptr;
};

}  // namespace corvella
