// Dialogs on real windows for the tests: an empty dialog in memory, and controls that a test
// makes on it where a resource template would have them.
#pragma once

#include <windows.h>

namespace corvella::test {

// A captioned popup dialog of 200 x 150 dialog units without controls, menu, class or title.
inline const DLGTEMPLATE* EmptyDialog() {
    constexpr DWORD kStyle = DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU;
    // style, extended style, no controls, x, y, cx, cy, then no menu, class or title.
    alignas(DWORD) static constexpr WORD kWords[] = {
        LOWORD(kStyle), HIWORD(kStyle), 0, 0, 0, 0, 0, 200, 150, 0, 0, 0};
    return reinterpret_cast<const DLGTEMPLATE*>(kWords);
}

// A visible child control of `parent` with the window class, id and style asked, at `at` in pixels.
inline HWND AddControl(HWND parent, const wchar_t* window_class, int id, DWORD style, RECT at) {
    return CreateWindowExW(0, window_class, L"", WS_CHILD | WS_VISIBLE | style, at.left, at.top,
                           at.right - at.left, at.bottom - at.top, parent,
                           reinterpret_cast<HMENU>(INT_PTR(id)), nullptr, nullptr);
}

}  // namespace corvella::test
