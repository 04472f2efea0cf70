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

// Chooses by the folded pattern text: ';' and '?' -> MatchWildList; ';' -> MatchStarList;
// '?' -> MatchWild; '*' -> MatchStar; none of them -> MatchSubstring.
Matcher SelectMatcher(std::u16string_view text);
// The fewest code units a name needs to match the prepared pattern: a cheap first test.
uint32_t MinimumNameUnits(const std::u16string& prepared);

// The non-empty items of `text` one after another, each ended by a NUL, and one more NUL after
// the last (two NULs when there is none).
std::u16string PreparePattern(std::u16string_view text);

}  // namespace corvella
