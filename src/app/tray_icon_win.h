// The program's icon in the notification area, and the global hot key that brings the window
// forward. Each belongs to the window it was made for and is given back by its owner's
// destructor at the latest.
#pragma once

#include <windows.h>
// The notification-area declarations build on <windows.h>.
#include <shellapi.h>

namespace corvella {

// The mouse messages of the tray icon reach its window as this message: wParam the icon's id
// (0), lParam the mouse message.
inline constexpr UINT kTrayMessage = WM_APP + 6;

class TrayIcon {
  public:
    TrayIcon() = default;
    ~TrayIcon() { Remove(); }
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;

    // Shows `icon` with the tip "Corvella". A failure goes unnoticed: the program then runs
    // without an icon.
    void Add(HWND window, HICON icon);
    // The icon again after the shell has (re)started, when Add was called, whether or not the
    // shell took it then: started with Windows, the program may come before the shell.
    void Restore();
    // Safe to call twice.
    void Remove();

  private:
    NOTIFYICONDATAW data_{};
    bool added_ = false;
};

// Shift+Esc for one window, named by a global atom of its own. Taken by another program, it is
// simply not there.
class HotKey {
  public:
    HotKey() = default;
    ~HotKey() { Unregister(); }
    HotKey(const HotKey&) = delete;
    HotKey& operator=(const HotKey&) = delete;

    // Its presses reach `window` as WM_HOTKEY. False when it could not be registered.
    bool Register(HWND window);
    // Safe to call twice.
    void Unregister();

  private:
    HWND window_ = nullptr;
    ATOM id_ = 0;
    bool registered_ = false;
};

}  // namespace corvella
