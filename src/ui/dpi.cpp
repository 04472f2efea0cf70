#include "ui/dpi.h"

#include "ui/gdi.h"

namespace corvella::ui {

namespace {

using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);

// Looked up once: linking to it would keep the program from starting on older systems.
GetDpiForWindowFunction FindGetDpiForWindow() {
    static const GetDpiForWindowFunction function = [] {
        HMODULE user32 = GetModuleHandleW(L"user32.dll");
        FARPROC found = user32 ? GetProcAddress(user32, "GetDpiForWindow") : nullptr;
        return reinterpret_cast<GetDpiForWindowFunction>(reinterpret_cast<void*>(found));
    }();
    return function;
}

}  // namespace

int DpiOf(HWND window) {
    if (GetDpiForWindowFunction get_dpi = FindGetDpiForWindow()) {
        if (const UINT dpi = get_dpi(window)) return static_cast<int>(dpi);
    }
    WindowDc screen(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen.get(), LOGPIXELSY) : 0;
    return dpi > 0 ? dpi : 96;
}

}  // namespace corvella::ui
