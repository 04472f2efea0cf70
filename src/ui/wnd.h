// A window handle the wrapper does not own: controls of a dialog, or any window it is handed.
//
// Each method is one system call wide, so a caller reads as the calls it makes; only Text (which
// asks for the length first) and RectInParent (which maps the screen rectangle) make two. Names
// avoid the system's own (SendMessage, GetWindowText, ...), which <windows.h> defines as macros.
#pragma once

#include <windows.h>

#include <string>

namespace corvella::ui {

class Wnd {
  public:
    Wnd() = default;
    explicit Wnd(HWND hwnd) : hwnd_(hwnd) {}

    HWND hwnd() const { return hwnd_; }
    explicit operator bool() const { return hwnd_ != nullptr; }
    void Attach(HWND hwnd) { hwnd_ = hwnd; }

    // The control `id` of this window, as a wrapper; empty when there is none.
    Wnd Item(int id) const { return Wnd(GetDlgItem(hwnd_, id)); }
    HWND Parent() const { return GetParent(hwnd_); }
    int Id() const { return GetDlgCtrlID(hwnd_); }

    std::wstring Text() const;
    bool SetText(const wchar_t* text) const { return SetWindowTextW(hwnd_, text) != FALSE; }
    bool SetText(const std::wstring& text) const { return SetText(text.c_str()); }

    // Both return the previous state, as the system reports it.
    bool Enable(bool enable) const { return EnableWindow(hwnd_, enable) != FALSE; }
    bool Show(int command) const { return ShowWindow(hwnd_, command) != FALSE; }
    bool IsEnabled() const { return IsWindowEnabled(hwnd_) != FALSE; }
    bool IsVisible() const { return IsWindowVisible(hwnd_) != FALSE; }
    HWND Focus() const { return SetFocus(hwnd_); }

    // `rect` in the parent's client coordinates (the screen's for a top-level window).
    bool Move(const RECT& rect, bool repaint = true) const {
        return MoveWindow(hwnd_, rect.left, rect.top, rect.right - rect.left,
                          rect.bottom - rect.top, repaint) != FALSE;
    }
    bool Invalidate(bool erase = true) const {
        return InvalidateRect(hwnd_, nullptr, erase) != FALSE;
    }
    bool Invalidate(const RECT& rect, bool erase) const {
        return InvalidateRect(hwnd_, &rect, erase) != FALSE;
    }
    bool Update() const { return UpdateWindow(hwnd_) != FALSE; }

    RECT WindowRect() const;  // screen coordinates
    RECT ClientRect() const;
    // The window's outer rectangle in its parent's client coordinates: where Move puts it.
    RECT RectInParent() const;

    LONG_PTR Style() const { return GetWindowLongPtrW(hwnd_, GWL_STYLE); }
    LONG_PTR SetStyle(LONG_PTR style) const { return SetWindowLongPtrW(hwnd_, GWL_STYLE, style); }

    LRESULT SendMsg(UINT message, WPARAM wparam = 0, LPARAM lparam = 0) const {
        return SendMessageW(hwnd_, message, wparam, lparam);
    }
    bool PostMsg(UINT message, WPARAM wparam = 0, LPARAM lparam = 0) const {
        return PostMessageW(hwnd_, message, wparam, lparam) != FALSE;
    }
    HFONT Font() const { return reinterpret_cast<HFONT>(SendMsg(WM_GETFONT)); }
    void SetFont(HFONT font, bool redraw) const {
        SendMsg(WM_SETFONT, reinterpret_cast<WPARAM>(font), redraw);
    }

  protected:
    HWND hwnd_ = nullptr;
};

}  // namespace corvella::ui
