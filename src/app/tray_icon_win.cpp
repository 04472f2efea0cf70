#include "app/tray_icon_win.h"

#include <cwchar>

namespace corvella {

void TrayIcon::Add(HWND window, HICON icon) {
    data_ = {};
    data_.cbSize = sizeof data_;
    data_.hWnd = window;
    data_.uID = 0;
    data_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data_.uCallbackMessage = kTrayMessage;
    data_.hIcon = icon;
    wcscpy(data_.szTip, L"Corvella");
    added_ = true;
    Shell_NotifyIconW(NIM_ADD, &data_);
}

void TrayIcon::Restore() {
    if (added_) Shell_NotifyIconW(NIM_ADD, &data_);
}

void TrayIcon::Remove() {
    if (!added_) return;
    added_ = false;
    NOTIFYICONDATAW remove{};
    remove.cbSize = sizeof remove;
    remove.hWnd = data_.hWnd;
    remove.uID = 0;
    Shell_NotifyIconW(NIM_DELETE, &remove);
}

bool HotKey::Register(HWND window) {
    Unregister();
    window_ = window;
    id_ = GlobalAddAtomW(L"Shift+Esc");
    registered_ = id_ != 0 && RegisterHotKey(window, id_, MOD_SHIFT, VK_ESCAPE);
    return registered_;
}

void HotKey::Unregister() {
    if (registered_) UnregisterHotKey(window_, id_);
    registered_ = false;
    if (id_) GlobalDeleteAtom(id_);
    id_ = 0;
}

}  // namespace corvella
