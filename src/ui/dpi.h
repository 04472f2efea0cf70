// Pixel sizes written for 96 dots per inch, scaled to the dots per inch a window is shown at.
#pragma once

#include <windows.h>

namespace corvella::ui {

// The window's dots per inch: GetDpiForWindow where the system has it (Windows 10 on), else the
// screen's logical dots per inch, which older systems use for every window.
int DpiOf(HWND window);

// `pixels` at 96 dots per inch, at `dpi`, rounded to the nearest pixel.
inline int ScaleForDpi(int pixels, int dpi) {
    return MulDiv(pixels, dpi, 96);
}

}  // namespace corvella::ui
