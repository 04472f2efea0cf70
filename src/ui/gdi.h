// Owners for the GDI objects a control uses while it draws. Each wrapper cannot be copied, undoes
// its one call in its destructor, and those that own a handle can also be moved and closed early.
// Declared in the order they are undone in reverse: a device context, what is selected into it.
#pragma once

#include <windows.h>

#include "platform/handle_win.h"

namespace corvella::ui {

// The kinds of GDI handle owned here, each with the call that gives it back (see
// platform/handle_win.h): pens, brushes, fonts and bitmaps go with DeleteObject, icons with
// DestroyIcon.
template <typename H>
struct GdiObjectKind {
    using Value = H;
    static H Empty() { return nullptr; }
    static void Close(H object) { DeleteObject(object); }
};
struct IconKind {
    using Value = HICON;
    static HICON Empty() { return nullptr; }
    static void Close(HICON icon) { DestroyIcon(icon); }
};

// A pen, brush, font or bitmap, deleted with its owner. It must not be selected into a device
// context any more by then: a Selected guard declared after it is undone before it.
template <typename H>
using GdiObject = platform::OwnedHandle<GdiObjectKind<H>>;
using Brush = GdiObject<HBRUSH>;
using Pen = GdiObject<HPEN>;
using Font = GdiObject<HFONT>;
using Bitmap = GdiObject<HBITMAP>;

inline Brush SolidBrush(COLORREF color) {
    return Brush(CreateSolidBrush(color));
}
inline Pen SolidPen(int width, COLORREF color) {
    return Pen(CreatePen(PS_SOLID, width, color));
}

// An icon, destroyed with its owner (not for shared icons from LoadIcon).
using Icon = platform::OwnedHandle<IconKind>;

// Selects an object into a device context and puts the previous one back.
class Selected {
  public:
    Selected(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    ~Selected() {
        if (previous_ && previous_ != HGDI_ERROR) SelectObject(dc_, previous_);
    }
    Selected(const Selected&) = delete;
    Selected& operator=(const Selected&) = delete;

  private:
    HDC dc_;
    HGDIOBJ previous_;
};

// Saves the whole state of a device context (selections, colours, modes) and restores it.
class SavedDc {
  public:
    explicit SavedDc(HDC dc) : dc_(dc), saved_(SaveDC(dc)) {}
    ~SavedDc() {
        if (saved_) RestoreDC(dc_, saved_);
    }
    SavedDc(const SavedDc&) = delete;
    SavedDc& operator=(const SavedDc&) = delete;

  private:
    HDC dc_;
    int saved_;
};

// A memory device context compatible with `dc`, to draw off screen.
class MemoryDc {
  public:
    explicit MemoryDc(HDC dc) : dc_(CreateCompatibleDC(dc)) {}
    ~MemoryDc() {
        if (dc_) DeleteDC(dc_);
    }
    MemoryDc(const MemoryDc&) = delete;
    MemoryDc& operator=(const MemoryDc&) = delete;

    HDC get() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }

  private:
    HDC dc_;
};

// The device context of a window's client area (of the screen for a null window).
class WindowDc {
  public:
    explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~WindowDc() {
        if (dc_) ReleaseDC(window_, dc_);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;

    HDC get() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }

  private:
    HWND window_;
    HDC dc_;
};

// The painting of one WM_PAINT.
class PaintDc {
  public:
    explicit PaintDc(HWND window) : window_(window) { dc_ = BeginPaint(window, &paint_); }
    ~PaintDc() { EndPaint(window_, &paint_); }
    PaintDc(const PaintDc&) = delete;
    PaintDc& operator=(const PaintDc&) = delete;

    HDC get() const { return dc_; }
    const RECT& dirty() const { return paint_.rcPaint; }

  private:
    HWND window_;
    PAINTSTRUCT paint_{};
    HDC dc_ = nullptr;
};

}  // namespace corvella::ui
