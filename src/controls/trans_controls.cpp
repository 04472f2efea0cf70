#include "controls/trans_controls.h"

#include "controls/gradient.h"

namespace corvella {

namespace {

// The static styles and text formats by value, so that the rules stay portable: they are the
// system's own numbers.
constexpr uint32_t kSsTypeMask = 0x1F, kSsCenter = 0x1, kSsRight = 0x2;
constexpr uint32_t kSsNoPrefix = 0x80, kSsCenterImage = 0x200;
constexpr uint32_t kSsEllipsisMask = 0xC000, kSsEndEllipsis = 0x4000, kSsPathEllipsis = 0x8000;
// The style bits that rule out wrapping: the ellipses, centring vertically, and the types whose
// text stays on one line.
constexpr uint32_t kNoWrapBits = 0xC20C;
constexpr uint32_t kDtCenter = 0x1, kDtRight = 0x2, kDtVCenter = 0x4, kDtWordBreak = 0x10,
                   kDtSingleLine = 0x20, kDtNoPrefix = 0x800, kDtPathEllipsis = 0x4000,
                   kDtEndEllipsis = 0x8000, kDtWordEllipsis = 0x40000;

}  // namespace

CheckLook CheckLookFor(bool checked, bool pressed, bool hover) {
    if (checked) {
        return pressed ? CheckLook::CheckedPressed
               : hover ? CheckLook::CheckedHot
                       : CheckLook::CheckedNormal;
    }
    return pressed ? CheckLook::UncheckedPressed
           : hover ? CheckLook::UncheckedHot
                   : CheckLook::UncheckedNormal;
}

StaticLook StaticLookFor(int text_style) {
    StaticLook look;
    switch (text_style) {
        case 0:
            look.colour = Rgb(0, 0, 0);
            break;
        case 1:
            look.colour = Rgb(255, 0, 0);
            break;
        case 2:
            look.underline = true;
            look.colour = Rgb(0, 0, 255);
            break;
        case 3:
            look.bold = true;
            look.colour = Rgb(0, 0, 0);
            break;
        default:
            look.underline = true;
            look.set_colour = false;
            break;
    }
    return look;
}

uint32_t StaticTextFormat(uint32_t style) {
    uint32_t format = 0;
    // The alignments are values of the type field too: SS_SIMPLE holds both their bits.
    if ((style & kSsTypeMask) == kSsRight) format |= kDtRight;
    if ((style & kSsTypeMask) == kSsCenter) format |= kDtCenter;
    if (style & kSsCenterImage) format |= kDtSingleLine | kDtVCenter;
    if (style & kSsNoPrefix) format |= kDtNoPrefix;
    // The three ellipses are values of one two-bit field, not flags: the word ellipsis holds
    // the bits of both others.
    const uint32_t ellipsis = style & kSsEllipsisMask;
    if (ellipsis) format |= kDtWordEllipsis;
    if (ellipsis == kSsEndEllipsis) format |= kDtEndEllipsis;
    if (ellipsis == kSsPathEllipsis) format |= kDtPathEllipsis;
    if (!(style & kNoWrapBits)) format |= kDtWordBreak;
    return format;
}

}  // namespace corvella
