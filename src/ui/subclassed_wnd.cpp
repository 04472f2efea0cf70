// Subclassing through comctl32's SetWindowSubclass, not by replacing GWLP_WNDPROC: subclasses
// stack and come off in any order, and the object rides along as the subclass's reference data.
// A window property names the object too, for FromHandle: GetWindowSubclass would do, but the
// 64-bit MinGW import library lacks it.
//
// The subclass must be gone before the window is: at WM_NCDESTROY the control is finished with
// the message and the object lets go.
#include "ui/subclassed_wnd.h"

#include <commctrl.h>

#include "ui/post.h"

namespace corvella::ui {

namespace {

constexpr UINT_PTR kSubclassId = 1;
constexpr wchar_t kObjectProperty[] = L"Corvella.SubclassedWnd";

}  // namespace

bool SubclassedWnd::Subclass(HWND control) {
    if (hwnd_ || !control || FromHandle(control)) return false;
    hwnd_ = control;
    PreSubclass();
    if (!SetPropW(control, kObjectProperty, this)) {
        hwnd_ = nullptr;
        return false;
    }
    if (!SetWindowSubclass(control, Procedure, kSubclassId, reinterpret_cast<DWORD_PTR>(this))) {
        RemovePropW(control, kObjectProperty);
        hwnd_ = nullptr;
        return false;
    }
    AcceptPosts(control);
    return true;
}

void SubclassedWnd::Unsubclass() {
    if (!hwnd_) return;
    DropPosts(hwnd_);
    RemoveWindowSubclass(hwnd_, Procedure, kSubclassId);
    RemovePropW(hwnd_, kObjectProperty);
    hwnd_ = nullptr;
}

SubclassedWnd* SubclassedWnd::FromHandle(HWND window) {
    return window ? static_cast<SubclassedWnd*>(GetPropW(window, kObjectProperty)) : nullptr;
}

LRESULT SubclassedWnd::Default(UINT message, WPARAM wparam, LPARAM lparam) {
    return DefSubclassProc(hwnd_, message, wparam, lparam);
}

LRESULT CALLBACK SubclassedWnd::Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                          UINT_PTR, DWORD_PTR object) {
    auto* self = reinterpret_cast<SubclassedWnd*>(object);
    if (message == PostedMessage()) {
        RunPosted(window);
        return 0;
    }
    const LRESULT result = self->WindowProc(message, wparam, lparam);
    if (message == WM_NCDESTROY) self->Unsubclass();
    return result;
}

}  // namespace corvella::ui
