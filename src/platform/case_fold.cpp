#include "platform/case_fold.h"

namespace corvella {

char16_t g_case_fold[65536];

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

// Fills the table before main, so that readers need no once-only guard on the hot path.
struct FillTable {
    FillTable() {
        for (uint32_t c = 0; c < 65536; ++c) g_case_fold[c] = char16_t(c);
        for (const FoldRun& run : kRuns)
            for (uint32_t c = run.first; c <= run.last; c += run.step)
                g_case_fold[c] = char16_t(int32_t(c) + run.delta);
    }
} fill_table;

}  // namespace

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
