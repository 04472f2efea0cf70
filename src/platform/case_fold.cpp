#include "platform/case_fold.h"

namespace corvella {

namespace {

struct FoldRun {
    uint32_t first;
    uint32_t last;
    int32_t delta;
    uint32_t step;
};

constexpr FoldRun kRuns[] = {
#include "platform/case_fold_table.inc"
};

constexpr std::array<char16_t, 65536> MakeTable() {
    std::array<char16_t, 65536> table{};
    for (uint32_t c = 0; c < 65536; ++c) table[c] = char16_t(c);
    for (const FoldRun& run : kRuns)
        for (uint32_t c = run.first; c <= run.last; c += run.step)
            table[c] = char16_t(int32_t(c) + run.delta);
    return table;
}

}  // namespace

// Made while compiling, and read-only in the program's image: nothing runs before main, and a
// run that meets no name outside ASCII never touches it.
constinit const std::array<char16_t, 65536> g_case_fold = MakeTable();

std::u16string FoldCaseCopy(std::u16string_view text) {
    std::u16string out(text);
    for (char16_t& c : out) c = FoldCase(c);
    return out;
}

int CompareFolded(std::u16string_view a, std::u16string_view b) {
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        const char16_t x = FoldCase(a[i]), y = FoldCase(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool EqualsFolded(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() && CompareFolded(a, b) == 0;
}

}  // namespace corvella
