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

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "cache/block_reader.h"
#include "platform/case_fold.h"

namespace corvella {

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

// A plain pattern made ready once per query for the walk's test of every name.
struct SubstringNeedle {
    const char16_t* text = nullptr;  // folded, NUL-terminated
    uint32_t units = 0;
    char16_t first = 0;
    char16_t twin = 0;  // the first unit's ASCII capital, or the first unit itself
};
SubstringNeedle PrepareNeedle(const char16_t* prepared);

// MatchSubstringKnownLength for a name inside a cache record, which the reader has checked is
// followed by its NUL, value and time (14 bytes): eight units are tested at a time, and a load
// may reach into those bytes, never past them. Inline: the walk calls it for every file.
inline bool MatchSubstringInRecord(const SubstringNeedle& needle, const uint8_t* name,
                                   uint32_t name_units) {
    namespace lanes = unit_lanes;
    if (needle.units == 0) return true;
    if (name_units < needle.units) return false;
    const uint32_t starts = name_units - needle.units + 1;
    const lanes::Units first = lanes::Splat(needle.first), twin = lanes::Splat(needle.twin);
    for (uint32_t start = 0; start < starts; start += lanes::kCount) {
        // The last load starts at a unit of the name, so it ends within the 14 bytes after it.
        const lanes::Units v = lanes::Load(name + 2 * start);
        // A unit past ASCII may fold to the first unit: each is looked at.
        lanes::Mask candidates = (lanes::Equal(v, first) | lanes::Equal(v, twin) |
                                  lanes::NonAscii(v)) &
                                 lanes::Below(starts - start);
        while (candidates != 0) {
            const uint32_t at = start + lanes::FirstUnit(candidates);
            candidates &= candidates - 1;
            const char16_t c = Load16(name + 2 * at);
            if (c != needle.first && c != needle.twin && (c < 0x80 || g_case_fold[c] != needle.first))
                continue;
            uint32_t i = 1;
            while (i < needle.units && FoldCase(Load16(name + 2 * (at + i))) == needle.text[i]) ++i;
            if (i == needle.units) return true;
        }
    }
    return false;
}

// A glob whose every item is '*' and a tail without wildcards ("*.txt", "*.c;*.h"), made ready
// once per query: a name matches when it ends with one of the tails, which the walk, knowing the
// name's length, tests from the end without reading the rest of the name.
struct SuffixSet {
    struct Tail {
        const char16_t* text;  // folded
        uint32_t units;
    };
    std::vector<Tail> tails;
};
// Fills `set` and returns true when `matcher` (a glob matcher) answers `prepared` by its items'
// tails alone; false for any other shape, for which the matcher must be called.
bool PrepareSuffixes(Matcher matcher, const char16_t* prepared, SuffixSet& set);

inline bool MatchSuffixes(const SuffixSet& set, const uint8_t* name, uint32_t name_units) {
    for (const SuffixSet::Tail& tail : set.tails) {
        if (name_units < tail.units) continue;
        const uint8_t* end = name + 2 * (name_units - tail.units);
        uint32_t i = tail.units;
        while (i > 0 && FoldCase(Load16(end + 2 * (i - 1))) == tail.text[i - 1]) --i;
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
