// Matching one cached name against the search pattern.
//
// Once per query the pattern (already case-folded) is prepared, with each ';' turned into a NUL
// and two NULs at the end, and one of five matchers is chosen by its shape; the walk then calls
// that matcher through a pointer for every entry. Matchers read the name straight from the mapped
// cache (unaligned UTF-16, NUL-terminated), fold its code units as they go, and allocate nothing.
//
// '*' matches any run of code units, the empty one included; '?' exactly one. A single pattern
// without wildcards matches anywhere in the name; in a ';' list every item is a whole-name glob,
// and an empty item matches nothing.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "cache/block_reader.h"
#include "platform/case_fold.h"

namespace corvella {

// Several UTF-16 units of the image tested at once: eight in an SSE2 register where the target
// has one (every x86-64), else four in a 64-bit word. A test gives a mask with one bit per unit,
// the lowest unit lowest; FirstUnit turns its lowest bit into the unit's index. The word form
// may also mark a unit above the first true one (a borrow carries into it), so callers take
// the lowest bit as exact and recheck any other before trusting it.
namespace unit_lanes {
#if defined(__SSE2__)
using Units = __m128i;
using Mask = uint32_t;
inline constexpr uint32_t kCount = 8;
inline constexpr int kShift = 1;  // bits of the mask per unit: 2, the low one kept
inline Units Load(const uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
inline Units Splat(char16_t c) {
    return _mm_set1_epi16(static_cast<short>(c));
}
inline Mask Equal(Units v, Units want) {
    return Mask(_mm_movemask_epi8(_mm_cmpeq_epi16(v, want))) & 0x5555u;
}
// Units of 0x80 and above.
inline Mask NonAscii(Units v) {
    const __m128i high = _mm_and_si128(v, _mm_set1_epi16(static_cast<short>(0xFF80)));
    return ~Mask(_mm_movemask_epi8(_mm_cmpeq_epi16(high, _mm_setzero_si128()))) & 0x5555u;
}
#else
using Units = uint64_t;
using Mask = uint64_t;
inline constexpr uint32_t kCount = 4;
inline constexpr int kShift = 4;  // the top bit of each 16
inline constexpr uint64_t kLow = 0x0001000100010001ull, kHigh = 0x8000800080008000ull;
inline Units Load(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}
inline Units Splat(char16_t c) {
    return kLow * c;
}
inline Mask Equal(Units v, Units want) {
    const uint64_t x = v ^ want;
    return (x - kLow) & ~x & kHigh;
}
// Every unit when any is 0x80 or above: the callers recheck each marked unit.
inline Mask NonAscii(Units v) {
    return (v & 0xFF80FF80FF80FF80ull) ? kHigh : 0;
}
#endif
inline Mask Zero(Units v) {
    return Equal(v, Splat(0));
}
inline uint32_t FirstUnit(Mask m) {
    return uint32_t(std::countr_zero(m)) >> kShift;
}
// The mask's bits for the first `units` units (all of them from kCount on).
inline Mask Below(uint32_t units) {
    return units >= kCount ? ~Mask(0) : (Mask(1) << (units << kShift)) - 1;
}
}  // namespace unit_lanes

// Returns non-zero for a match. `name` points at the first byte of a NUL-terminated UTF-16LE name.
using Matcher = int (*)(const uint8_t* name, const char16_t* pattern);

int MatchSubstring(const uint8_t* name, const char16_t* pattern);
int MatchStar(const uint8_t* name, const char16_t* pattern);
int MatchWild(const uint8_t* name, const char16_t* pattern);
int MatchStarList(const uint8_t* name, const char16_t* pattern);
int MatchWildList(const uint8_t* name, const char16_t* pattern);

// MatchSubstring for a name whose length the walk already knows: it tests four units at a time
// for the pattern's first unit and reads nothing past the name's end.
int MatchSubstringKnownLength(const uint8_t* name, uint32_t name_units, const char16_t* pattern,
                              uint32_t pattern_units);

// A plain pattern made ready once per query for the walk's test of every name. The walk looks
// for two adjacent units of the pattern at once, the pair that file names hold least often, so
// that few names reach the unit-by-unit comparison ("include" is looked for by "cl", not "i").
struct SubstringNeedle {
    const char16_t* text = nullptr;  // folded, NUL-terminated
    uint32_t units = 0;
    uint32_t lead = 0;  // where the pair sits in the pattern; the pair is one unit when units is 1
    char16_t first = 0, first_twin = 0;    // text[lead] and its ASCII capital (or itself)
    char16_t second = 0, second_twin = 0;  // text[lead + 1] and its capital
};
SubstringNeedle PrepareNeedle(const char16_t* prepared);

// Whether the name holds the needle at `start`, every unit folded.
inline bool NeedleAt(const SubstringNeedle& needle, const uint8_t* name, uint32_t start) {
    for (uint32_t i = 0; i < needle.units; ++i)
        if (FoldCase(Load16(name + 2 * (start + i))) != needle.text[i]) return false;
    return true;
}

// MatchSubstringKnownLength for a name inside a cache record, which the reader has checked is
// followed by its NUL, value and time (14 bytes): eight units are tested at a time, and a load
// may reach into those bytes, never past them. Inline: the walk calls it for every file.
inline bool MatchSubstringInRecord(const SubstringNeedle& needle, const uint8_t* name,
                                   uint32_t name_units) {
    namespace lanes = unit_lanes;
    if (needle.units == 0) return true;
    if (name_units < needle.units) return false;
    const uint32_t starts = name_units - needle.units + 1;
    const lanes::Units first = lanes::Splat(needle.first),
                       first_twin = lanes::Splat(needle.first_twin);
    if (needle.units == 1) {
        // One unit: a plain hit answers at once; a unit past ASCII may fold to it (U+0130 to
        // 'i', the Kelvin sign to 'k') and is looked at only when there is no plain hit.
        for (uint32_t start = 0; start < starts; start += lanes::kCount) {
            const lanes::Units v = lanes::Load(name + 2 * start);
            const lanes::Mask below = lanes::Below(starts - start);
            if ((lanes::Equal(v, first) | lanes::Equal(v, first_twin)) & below) return true;
            lanes::Mask others = lanes::NonAscii(v) & below;
            while (others != 0) {
                const uint32_t at = start + lanes::FirstUnit(others);
                others &= others - 1;
                if (FoldCase(Load16(name + 2 * at)) == needle.first) return true;
            }
        }
        return false;
    }
    const lanes::Units second = lanes::Splat(needle.second),
                       second_twin = lanes::Splat(needle.second_twin);
    // A start at `s` puts the pair at units s + lead and s + lead + 1. The last loads begin at
    // units of the name (the pair ends by the pattern's last unit at the latest), so they end
    // within the 14 bytes after it.
    const uint8_t* pair = name + 2 * needle.lead;
    for (uint32_t start = 0; start < starts; start += lanes::kCount) {
        const lanes::Units a = lanes::Load(pair + 2 * start);
        const lanes::Units b = lanes::Load(pair + 2 * start + 2);
        // A unit past ASCII may fold to either unit of the pair: such places are looked at.
        lanes::Mask candidates =
            (lanes::Equal(a, first) | lanes::Equal(a, first_twin) | lanes::NonAscii(a)) &
            (lanes::Equal(b, second) | lanes::Equal(b, second_twin) | lanes::NonAscii(b)) &
            lanes::Below(starts - start);
        while (candidates != 0) {
            const uint32_t at = start + lanes::FirstUnit(candidates);
            candidates &= candidates - 1;
            if (NeedleAt(needle, name, at)) return true;
        }
    }
    return false;
}

// A glob whose every item is '*' and a tail without wildcards ("*.txt", "*.c;*.h"), made ready
// once per query: a name matches when it ends with one of the tails, which the walk, knowing the
// name's length, tests from the end without reading the rest of the name. The tails are held in
// place, as offsets into the prepared pattern, so that a copy of the set belongs to whoever holds
// it and serves any copy of the pattern.
struct SuffixSet {
    static constexpr uint32_t kMaxTails = 8;  // a longer list is left to the matcher
    struct Tail {
        uint32_t at;  // where the folded tail starts in the prepared pattern
        uint32_t units;
    };
    Tail tails[kMaxTails] = {};
    uint32_t count = 0;
};
// Fills `set` and returns true when `matcher` (a glob matcher) answers `prepared` by its items'
// tails alone; false for any other shape, for which the matcher must be called.
bool PrepareSuffixes(Matcher matcher, const char16_t* prepared, SuffixSet& set);

inline bool MatchSuffixes(const SuffixSet& set, const char16_t* prepared, const uint8_t* name,
                          uint32_t name_units) {
    for (uint32_t t = 0; t < set.count; ++t) {
        const SuffixSet::Tail tail = set.tails[t];
        if (name_units < tail.units) continue;
        const uint8_t* end = name + 2 * (name_units - tail.units);
        const char16_t* text = prepared + tail.at;
        uint32_t i = tail.units;
        while (i > 0 && FoldCase(Load16(end + 2 * (i - 1))) == text[i - 1]) --i;
        if (i == 0) return true;
    }
    return false;
}

// Chooses by the folded pattern text: ';' and '?' -> MatchWildList; ';' -> MatchStarList;
// '?' -> MatchWild; '*' -> MatchStar; none of them -> MatchSubstring.
Matcher SelectMatcher(std::u16string_view text);
// The fewest code units a name needs to match the prepared pattern: a cheap first test.
uint32_t MinimumNameUnits(const std::u16string& prepared);

// The non-empty items of `text` one after another, each ended by a NUL, and one more NUL after
// the last (two NULs when there is none).
std::u16string PreparePattern(std::u16string_view text);

}  // namespace corvella
