#include "ui/wnd.h"

namespace corvella::ui {

std::wstring Wnd::Text() const {
    // The length may be an overestimate (it counts in the window's own character set), never
    // short; the copy reports what it wrote.
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(hwnd_)) + 1, L'\0');
    text.resize(
        static_cast<size_t>(GetWindowTextW(hwnd_, text.data(), static_cast<int>(text.size()))));
    return text;
}

RECT Wnd::WindowRect() const {
    RECT rect{};
    GetWindowRect(hwnd_, &rect);
    return rect;
}

RECT Wnd::ClientRect() const {
    RECT rect{};
    GetClientRect(hwnd_, &rect);
    return rect;
}

RECT Wnd::RectInParent() const {
    RECT rect = WindowRect();
    // The parent of a top-level window is its owner or none; its coordinates are the screen's.
    HWND parent = (Style() & WS_CHILD) ? GetParent(hwnd_) : nullptr;
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

}  // namespace corvella::ui
