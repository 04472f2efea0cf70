// The desktop program's start: common controls and OLE, one instance per user session, the
// program's folder as the current folder, then the main window until it ends.
#include <windows.h>
// These system headers build on <windows.h>.
#include <commctrl.h>
#include <ole2.h>

#include "app/main_dlg_win.h"
#include "ui/app.h"

namespace corvella {

namespace {

constexpr wchar_t kInstanceMarker[] = L"Halvorin-1.1";

BOOL CALLBACK FindRunningInstance(HWND window, LPARAM found) {
    if (GetPropW(window, kInstanceMarker) == reinterpret_cast<HANDLE>(1)) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

class CMainApp final : public ui::App {
  public:
    int InitInstance();
};

int CMainApp::InitInstance() {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES | ICC_TAB_CLASSES |
                                                       ICC_LISTVIEW_CLASSES | ICC_DATE_CLASSES |
                                                       ICC_UPDOWN_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    if (FAILED(OleInitialize(nullptr))) {
        MessageBoxW(nullptr, L"AfxOleInit Error!", L"Corvella", MB_OK);
        return 0;
    }
    struct OleGuard {
        ~OleGuard() { OleUninitialize(); }
    } ole;

    HWND running = nullptr;
    EnumWindows(FindRunningInstance, reinterpret_cast<LPARAM>(&running));
    if (running) {
        ShowWindow(running, SW_SHOWNORMAL);
        SetForegroundWindow(running);
        return 0;
    }

    // Relative paths of the program (its help page, its icons) resolve against its own folder.
    std::wstring module(32768, L'\0');
    const DWORD length =
        GetModuleFileNameW(nullptr, module.data(), static_cast<DWORD>(module.size()));
    module.resize(length);
    const size_t cut = module.rfind(L'\\');
    if (cut != std::wstring::npos) SetCurrentDirectoryW(module.substr(0, cut).c_str());

    CMainDlg main_window;
    Run(main_window);
    return 0;
}

}  // namespace

}  // namespace corvella

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    corvella::CMainApp app;
    return app.InitInstance();
}
