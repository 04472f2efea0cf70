// Case-blind comparison of names: every UTF-16 code unit is lower-cased through one table of
// 65,536 entries, made by the compiler from the Unicode simple lower-case mapping, so that 'ä'
// finds 'Ä' and no locale is ever consulted while names are compared.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace corvella {

extern const std::array<char16_t, 65536> g_case_fold;

inline char16_t FoldCase(char16_t c) {
    if (c < 0x80) return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;  // the common case
    return g_case_fold[c];
}

std::u16string FoldCaseCopy(std::u16string_view text);
// Orders texts as the sorts do: folded code unit by code unit, a prefix first.
int CompareFolded(std::u16string_view a, std::u16string_view b);
bool EqualsFolded(std::u16string_view a, std::u16string_view b);

}  // namespace corvella
