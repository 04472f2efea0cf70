// The main window's life out of sight: the tray icon and its menu, the hot key, the hidden start,
// Start With Windows, and the end of the Windows session.
//
// A single left click on the tray icon opens the menu only after one double-click interval
// (timer 1), so that a double click can show or hide the window without a menu flashing first.
// The window goes to the tray by the close command (minimise, then hide) and comes back by
// ShowMainWindow, always at the placement taken at start-up and with a taskbar button again.
//
// The end of the session does the exit's work without ending the dialog: Windows ends the
// process right after. A build running then is stopped, not finished, so the next start
// rebuilds; the cache file stays whole, since a build only ever replaces it whole.
#include "app/main_dlg_win.h"
#include "app/registry_win.h"
#include "app/startup_registry.h"
#include "cache/state_file.h"
#include "platform/text_win.h"
#include "resource.h"
#include "ui/menu.h"

namespace corvella {

namespace {

constexpr UINT_PTR kTrayClickTimer = 1;

std::u16string ExecutablePath() {
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return platform::FromWide(path.data(), path.size());
}

void SetExStyle(HWND window, LONG_PTR remove, LONG_PTR add) {
    SetWindowLongPtrW(window, GWL_EXSTYLE,
                      (GetWindowLongPtrW(window, GWL_EXSTYLE) & ~remove) | add);
}

}  // namespace

void CMainDlg::CheckStartWithWindows(bool on) {
    ui::MenuBarOf(hwnd_).Check(ID_OPTIONS_START_WITH_WINDOWS, on);
    ui::Menu(tray_menu_.menu().get()).Check(ID_TRAY_START_WITH_WINDOWS, on);
}

void CMainDlg::ApplyStartupRegistry() {
    WinUserRegistry registry;
    const AutorunAtStart autorun = corvella::ApplyStartupRegistry(registry, ExecutablePath());
    // The marks show whether the value exists, whatever the user chose last time.
    CheckStartWithWindows(autorun != AutorunAtStart::Off);
    if (autorun == AutorunAtStart::WriteFailed) ShowErrorBox(u"Failed to open registry  .");
}

void CMainDlg::OnToggleStartWithWindows() {
    const bool on = ui::MenuBarOf(hwnd_).IsChecked(ID_OPTIONS_START_WITH_WINDOWS) &&
                    ui::Menu(tray_menu_.menu().get()).IsChecked(ID_TRAY_START_WITH_WINDOWS);
    // Asked whatever Enable Message Dialogs says.
    if (on && !Ask(L"If you don't start Corvella with windows, the file changes will not be "
                   L"detected by Watchkeeper any more and the search results may become "
                   L"inaccurate.\r\n\r\nDon't start Corvella with windows?"))
        return;
    // The marks follow what was tried.
    CheckStartWithWindows(!on);
    WinUserRegistry registry;
    if (!SetAutorun(registry, !on, ExecutablePath())) ShowErrorBox(u"Failed to open registry .");
}

void CMainDlg::StartHidden() {
    SetExStyle(hwnd_, WS_EX_APPWINDOW, WS_EX_TOOLWINDOW);  // no taskbar button
    WINDOWPLACEMENT hidden = saved_placement_;
    hidden.showCmd = SW_HIDE;
    SetWindowPlacement(hwnd_, &hidden);
    // Handled once the dialog has been shown: it then goes to the tray as a closed one does.
    PostMsg(WM_SYSCOMMAND, SC_CLOSE);
}

void CMainDlg::ShowMainWindow() {
    SetExStyle(hwnd_, WS_EX_TOOLWINDOW, WS_EX_APPWINDOW);
    SetWindowPlacement(hwnd_, &saved_placement_);
    SetForegroundWindow(hwnd_);
    Show(SW_SHOWNORMAL);
    Item(IDC_PATTERN).Focus();
}

void CMainDlg::OnOpenMainWindow() {
    if (!IsVisible()) ShowMainWindow();
}

void CMainDlg::OnTrayNotify(WPARAM icon, LPARAM mouse) {
    if (!initialised_ || icon != 0) return;
    switch (static_cast<UINT>(mouse)) {
        case WM_LBUTTONDOWN:
            SetTimer(hwnd_, kTrayClickTimer, GetDoubleClickTime(), nullptr);
            break;
        case WM_LBUTTONDBLCLK:
            KillTimer(hwnd_, kTrayClickTimer);
            if (IsVisible())
                PostMsg(WM_SYSCOMMAND, SC_CLOSE);
            else
                ShowMainWindow();
            break;
        case WM_RBUTTONDOWN:
            ShowTrayMenu();
            break;
    }
}

bool CMainDlg::OnTimer(UINT_PTR) {
    // Stopped before the menu, whose own loop would otherwise take the next tick into a second
    // menu.
    KillTimer(hwnd_, kTrayClickTimer);
    ShowTrayMenu();
    return false;
}

void CMainDlg::ShowTrayMenu() {
    POINT at{};
    GetCursorPos(&at);
    // Only a menu of the foreground window closes when the user clicks elsewhere; the message
    // after it lets the system see the menu's end before the next click.
    SetForegroundWindow(hwnd_);
    tray_menu_.menu().SubMenu(0).TrackPopup(TPM_RIGHTBUTTON, at, hwnd_);
    PostMsg(WM_NULL);
}

void CMainDlg::OnEndSession(bool ending) {
    Default(WM_ENDSESSION, ending, 0);
    if (!ending || session_ended_) return;
    session_ended_ = true;
    ShutdownCleanup();
}

void CMainDlg::ShutdownCleanup() {
    // Before anything that may take time: a build that ends meanwhile must not record itself
    // as finished.
    exiting_ = true;
    Show(SW_HIDE);
    // A running search may finish within three seconds; workers that have not begun return.
    if (runner_) runner_->Shutdown(std::chrono::milliseconds(3000));
    if (pipe_server_) pipe_server_->Stop();
    tray_icon_.Remove();
    list_.StopIconThread();
    if (watchers_) watchers_->StopWatchers();
    EndBuildAtExit();
    StateFile(paths_.state).SetProgramExit(true);
}

}  // namespace corvella
