#include "search/matchers.h"

#include <bit>
#include <cstring>

#include "cache/cache_format.h"
#include "platform/case_fold.h"

namespace corvella {

namespace {

inline char16_t NameAt(const uint8_t* name, size_t i) {
    return FoldCase(Load16(name + 2 * i));
}

// A whole-name glob over one item (up to its NUL). Linear time: on a mismatch after a '*' only
// the latest '*' is retried, one code unit further on, which is enough for '*' and '?'.
// Units in a NUL-terminated name.
inline size_t NameLength(const uint8_t* name) {
    size_t n = 0;
    while (Load16(name + 2 * n) != 0) ++n;
    return n;
}

// "*tail" with no other wildcard, the commonest glob ("*.txt"): the name must end with the tail.
template <bool kQuestionIsWild>
bool IsSuffixPattern(const char16_t* pattern, size_t& tail_length) {
    if (pattern[0] != u'*') return false;
    size_t i = 1;
    for (; pattern[i] != 0; ++i)
        if (pattern[i] == u'*' || (kQuestionIsWild && pattern[i] == u'?')) return false;
    tail_length = i - 1;
    return true;
}

template <bool kQuestionIsWild>
int Glob(const uint8_t* name, const char16_t* pattern) {
    size_t tail = 0;
    if (IsSuffixPattern<kQuestionIsWild>(pattern, tail)) {
        const size_t length = NameLength(name);
        if (length < tail) return 0;
        const uint8_t* end = name + 2 * (length - tail);
        for (size_t i = 0; i < tail; ++i)
            if (FoldCase(Load16(end + 2 * i)) != pattern[1 + i]) return 0;
        return 1;
    }
    size_t n = 0, p = 0;
    size_t star_p = SIZE_MAX, star_n = 0;
    for (char16_t c; (c = Load16(name + 2 * n)) != 0;) {
        const char16_t pc = pattern[p];
        if (pc == u'*') {
            star_p = ++p;
            star_n = n;
        } else if (pc != 0 && (pc == FoldCase(c) || (kQuestionIsWild && pc == u'?'))) {
            ++p;
            ++n;
        } else if (star_p != SIZE_MAX) {
            p = star_p;
            n = ++star_n;
        } else {
            return 0;
        }
    }
    while (pattern[p] == u'*') ++p;
    return pattern[p] == 0;
}

template <bool kQuestionIsWild>
int GlobList(const uint8_t* name, const char16_t* pattern) {
    while (*pattern != 0) {  // an empty item ends the list; the others are never empty
        if (Glob<kQuestionIsWild>(name, pattern)) return 1;
        while (*pattern != 0) ++pattern;
        ++pattern;  // past this item's NUL
    }
    return 0;
}

// The other case of an ASCII small letter; any other unit is its own.
char16_t AsciiCapital(char16_t c) {
    return (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c;
}

}  // namespace

int MatchSubstring(const uint8_t* name, const char16_t* pattern) {
    const char16_t first = pattern[0];
    if (first == 0) return 1;
    // The first unit is looked for raw: its ASCII capital twin, or the fold of anything else.
    const char16_t twin = AsciiCapital(first);
    for (size_t start = 0;; ++start) {
        const char16_t c = Load16(name + 2 * start);
        if (c == 0) return 0;
        if (c != first && c != twin && (c < 0x80 || g_case_fold[c] != first)) continue;
        for (size_t i = 1;; ++i) {
            if (pattern[i] == 0) return int(start + 1);
            const char16_t d = NameAt(name, start + i);
            if (d == 0) return 0;  // the rest of the name is shorter than the pattern
            if (d != pattern[i]) break;
        }
    }
}

int MatchSubstringKnownLength(const uint8_t* name, uint32_t name_units, const char16_t* pattern,
                              uint32_t pattern_units) {
    if (pattern_units == 0) return 1;
    if (name_units < pattern_units) return 0;
    const char16_t first = pattern[0];
    const char16_t twin = AsciiCapital(first);
    const uint32_t last_start = name_units - pattern_units;
    // The rest of the pattern at `start`, whose first unit is known to fold to `first`.
    const auto rest_matches = [&](uint32_t start) {
        for (uint32_t i = 1; i < pattern_units; ++i)
            if (NameAt(name, start + i) != pattern[i]) return false;
        return true;
    };
    const auto first_matches = [&](char16_t c) {
        return c == first || c == twin || (c >= 0x80 && g_case_fold[c] == first);
    };
    constexpr uint64_t kLow = 0x0001000100010001ull, kHigh = 0x8000800080008000ull;
    constexpr uint64_t kNonAscii = 0xFF80FF80FF80FF80ull;
    const uint64_t want_first = kLow * first, want_twin = kLow * twin;
    uint32_t start = 0;
    for (; start + 4 <= last_start + 1; start += 4) {
        uint64_t v;
        std::memcpy(&v, name + 2 * start, 8);
        const uint64_t x = v ^ want_first, y = v ^ want_twin;
        uint64_t lanes = ((x - kLow) & ~x & kHigh) | ((y - kLow) & ~y & kHigh);
        if (v & kNonAscii) lanes = kHigh;  // a unit past ASCII may fold to the first: look at all
        while (lanes != 0) {
            const uint32_t at = start + uint32_t(std::countr_zero(lanes) / 16);
            lanes &= lanes - 1;
            if (first_matches(Load16(name + 2 * at)) && rest_matches(at)) return int(at + 1);
        }
    }
    for (; start <= last_start; ++start)
        if (first_matches(Load16(name + 2 * start)) && rest_matches(start)) return int(start + 1);
    return 0;
}

namespace {

// How often a folded unit turns up in file names, roughly, on a log scale: the walk looks for the
// pair of pattern units with the lowest sum. Anything not listed is taken as rare.
int Commonness(char16_t c) {
    static constexpr signed char kLetters[26] = {
        // a  b  c  d  e  f  g  h  i  j  k  l  m  n  o  p  q  r  s  t  u  v  w  x  y  z
        8, 3, 6, 5, 9, 4, 4, 4, 8, 1, 3, 6, 5, 7, 7, 5, 1, 7, 7, 7, 5, 2, 2, 2, 2, 1};
    if (c >= u'a' && c <= u'z') return kLetters[c - u'a'];
    if (c >= u'0' && c <= u'9') return 5;
    if (c == u'.') return 8;
    if (c == u'_' || c == u'-' || c == u' ') return 5;
    return c < 0x80 ? 2 : 0;
}

}  // namespace

SubstringNeedle PrepareNeedle(const char16_t* prepared) {
    SubstringNeedle needle;
    needle.text = prepared;
    while (prepared[needle.units] != 0) ++needle.units;
    int best = 1 << 30;
    for (uint32_t i = 0; i + 1 < needle.units; ++i) {
        const int score = Commonness(prepared[i]) + Commonness(prepared[i + 1]);
        if (score < best) {
            best = score;
            needle.lead = i;
        }
    }
    needle.first = prepared[needle.lead];
    needle.first_twin = AsciiCapital(needle.first);
    if (needle.units > 1) {
        needle.second = prepared[needle.lead + 1];
        needle.second_twin = AsciiCapital(needle.second);
    }
    return needle;
}

bool PrepareSuffixes(Matcher matcher, const char16_t* prepared, SuffixSet& set) {
    set.count = 0;
    const bool question_is_wild = matcher == MatchWild || matcher == MatchWildList;
    if (!question_is_wild && matcher != MatchStar && matcher != MatchStarList) return false;
    // The items as Glob takes them: each up to its NUL, the list ended by an empty one.
    for (const char16_t* item = prepared; *item != 0;) {
        size_t tail = 0;
        const bool suffix = question_is_wild ? IsSuffixPattern<true>(item, tail)
                                             : IsSuffixPattern<false>(item, tail);
        if (!suffix || set.count == SuffixSet::kMaxTails) {
            set.count = 0;
            return false;
        }
        set.tails[set.count++] = {uint32_t(item + 1 - prepared), uint32_t(tail)};
        item += 1 + tail + 1;  // past the '*', the tail and the NUL
        if (matcher == MatchStar || matcher == MatchWild) break;  // one item only
    }
    return set.count != 0;
}

int MatchStar(const uint8_t* name, const char16_t* pattern) {
    return Glob<false>(name, pattern);
}
int MatchWild(const uint8_t* name, const char16_t* pattern) {
    return Glob<true>(name, pattern);
}
int MatchStarList(const uint8_t* name, const char16_t* pattern) {
    return GlobList<false>(name, pattern);
}
int MatchWildList(const uint8_t* name, const char16_t* pattern) {
    return GlobList<true>(name, pattern);
}

Matcher SelectMatcher(std::u16string_view text) {
    const bool list = text.find(u';') != std::u16string_view::npos;
    const bool question = text.find(u'?') != std::u16string_view::npos;
    if (list) return question ? MatchWildList : MatchStarList;
    if (question) return MatchWild;
    if (text.find(u'*') != std::u16string_view::npos) return MatchStar;
    return MatchSubstring;
}

uint32_t MinimumNameUnits(const std::u16string& prepared) {
    // Every unit but '*' stands for one unit of the name; a list needs its shortest item.
    uint32_t best = UINT32_MAX, current = 0;
    bool in_item = false;
    for (char16_t c : prepared) {
        if (c == 0) {
            if (in_item && current < best) best = current;
            in_item = false;
            current = 0;
        } else {
            in_item = true;
            if (c != u'*') ++current;
        }
    }
    return best == UINT32_MAX ? 0 : best;
}

std::u16string PreparePattern(std::u16string_view text) {
    // Empty items match nothing, so they are left out: kept, their NULs would read as the end of
    // the list, and ";;a?" would lose its "a?". A run of '*' matches what one '*' matches, and
    // kept it would make the glob's backtracking grow with the run's length times the name's.
    std::u16string prepared;
    prepared.reserve(text.size() + 2);
    for (char16_t c : text) {
        if (c == u'*' && !prepared.empty() && prepared.back() == u'*') continue;
        if (c != u';') {
            prepared += c;
        } else if (!prepared.empty() && prepared.back() != 0) {
            prepared += char16_t(0);
        }
    }
    if (!prepared.empty() && prepared.back() != 0) prepared += char16_t(0);
    prepared += char16_t(0);
    if (prepared.size() == 1) prepared += char16_t(0);  // an empty list: two NULs
    return prepared;
}

}  // namespace corvella
