// Names against patterns: the walk's own substring test against the plain one, and what the
// pattern's preparation leaves for the walk. Every shape, the list rules and case across Unicode
// are held against the independent reference search (tools/reference_search.py).
#include "search/matchers.h"

#include <gtest/gtest.h>

#include <random>

#include "cache/cache_format.h"
#include "platform/case_fold.h"
#include "support/test_tree.h"

namespace corvella {
namespace {

TEST(MinimumNameUnits, CountsWhatEveryMatchNeeds) {
    const std::pair<const char16_t*, uint32_t> cases[] = {
        {u"include", 7},           {u"*.c", 2}, {u"a?*b*", 3},
        {u"*.html;*.c;readme", 2}, {u"*", 0},   {u";", 0}};
    for (const auto& [pattern, units] : cases)
        EXPECT_EQ(MinimumNameUnits(PreparePattern(pattern)), units) << test::Narrow(pattern);
}

// Kept, a run of stars makes every backtracking step try each star in turn: 100,000 of them
// took seconds on a short name.
TEST(PreparePattern, FoldsRunsOfStars) {
    EXPECT_EQ(PreparePattern(u"a***b;**;c*"), std::u16string(u"a*b\0*\0c*\0\0", 10));
    EXPECT_EQ(PreparePattern(std::u16string(100000, u'*') + u"x"), std::u16string(u"*x\0\0", 4));
}

// The walk's in-record test looks for a pair of pattern units chosen by how common they are, at
// any place in the pattern: a unit past ASCII in either half of the pair must still be looked at,
// and the record's bytes after the NUL (here units that would match) must never count.
TEST(MatchSubstringKnownLength, AgreesWithMatchSubstringOnRandomNames) {
    std::mt19937 random(77);
    // ASCII both cases, letters past ASCII, and units that fold to ASCII (İ to i, the Kelvin
    // sign to k) at every position of the four-unit steps.
    const std::u16string alphabet = u"ikIKa\u00c4\u00e4\u0130\u212a.";
    for (int round = 0; round < 60000; ++round) {
        std::u16string name(random() % 19, u' '), pattern(1 + random() % 5, u' ');
        for (char16_t& c : name) c = alphabet[random() % alphabet.size()];
        for (char16_t& c : pattern) c = alphabet[random() % alphabet.size()];
        const std::u16string folded = FoldCaseCopy(pattern);
        const std::u16string prepared = PreparePattern(folded);
        // Only the name and its NUL: nothing past them may be read.
        std::vector<uint8_t> bytes(2 * name.size() + 2, 0);
        for (size_t i = 0; i < name.size(); ++i) Store16(&bytes[2 * i], name[i]);
        const int expected = MatchSubstring(bytes.data(), prepared.data());
        const int got = MatchSubstringKnownLength(bytes.data(), uint32_t(name.size()),
                                                  prepared.data(), uint32_t(folded.size()));
        ASSERT_EQ(got != 0, expected != 0) << test::Narrow(pattern) << " in " << test::Narrow(name);
        std::vector<uint8_t> record = bytes;
        for (int i = 0; i < 7; ++i) record.insert(record.end(), {uint8_t('i'), 0});
        ASSERT_EQ(MatchSubstringInRecord(PrepareNeedle(prepared.data()), record.data(),
                                         uint32_t(name.size())),
                  expected != 0)
            << test::Narrow(pattern) << " in " << test::Narrow(name);
        if (expected != 0) {
            ASSERT_EQ(got, expected);  // the same, first, position
        }
    }
}

}  // namespace
}  // namespace corvella
