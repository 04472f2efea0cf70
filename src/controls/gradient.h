// The vertical gradient of selected rows and of the dialogs' backgrounds, as colours per strip;
// the drawing itself is in gradient_win.cpp.
#pragma once

#include <cstdint>

namespace corvella {

// Red in the low byte, then green, then blue: the layout of a Windows COLORREF.
using Colour = uint32_t;

constexpr Colour Rgb(int red, int green, int blue) {
    return Colour(red & 0xFF) | Colour(green & 0xFF) << 8 | Colour(blue & 0xFF) << 16;
}

// The colour of strip `y` (0 <= y < height) of a gradient from `top` to `bottom`: each channel
// moves in proportion, truncated.
constexpr Colour GradientStripColour(Colour top, Colour bottom, int y, int height) {
    Colour colour = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const int from = int(top >> shift & 0xFF), to = int(bottom >> shift & 0xFF);
        colour |= Colour((from + (to - from) * y / height) & 0xFF) << shift;
    }
    return colour;
}

}  // namespace corvella
