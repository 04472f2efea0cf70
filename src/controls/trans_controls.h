// The drawing rules of the transparent check box and static text that do not need a window:
// which look a state has, which text format a static's styles ask for.
#pragma once

#include <cstdint>

namespace corvella {

// The check-box part's state of the visual theme (the values of CBS_UNCHECKEDNORMAL ...
// CBS_CHECKEDPRESSED): a press shows before the hover, and either before the resting look.
enum class CheckLook {
    UncheckedNormal = 1,
    UncheckedHot = 2,
    UncheckedPressed = 3,
    CheckedNormal = 5,
    CheckedHot = 6,
    CheckedPressed = 7,
};
CheckLook CheckLookFor(bool checked, bool pressed, bool hover);

// How a transparent static draws its text in each of its text styles.
struct StaticLook {
    bool underline = false;
    bool bold = false;
    bool set_colour = true;  // false: the colour the device context has
    uint32_t colour = 0;     // a COLORREF: red in the low byte
};
StaticLook StaticLookFor(int text_style);

// The DrawText format (DT_ flags) for a static control of style `style` (SS_ flags).
uint32_t StaticTextFormat(uint32_t style);

}  // namespace corvella
