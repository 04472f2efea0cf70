// Names against patterns: every shape, the list rules, case across Unicode, and a property test
// against a slow reference glob.
#include "search/matchers.h"

#include <gtest/gtest.h>

#include <random>

#include "cache/cache_format.h"
#include "platform/case_fold.h"
#include "support/test_tree.h"

namespace corvella {
namespace {

// A name as the cache holds it: UTF-16LE bytes with a NUL, at an odd address on purpose.
struct CachedName {
    explicit CachedName(std::u16string_view name) : bytes(1 + 2 * name.size() + 2, 0) {
        for (size_t i = 0; i < name.size(); ++i) Store16(&bytes[1 + 2 * i], name[i]);
    }
    const uint8_t* data() const { return bytes.data() + 1; }
    std::vector<uint8_t> bytes;
};

bool Matches(std::u16string_view pattern, std::u16string_view name) {
    const std::u16string folded = FoldCaseCopy(pattern);
    const std::u16string prepared = PreparePattern(folded);
    return SelectMatcher(folded)(CachedName(name).data(), prepared.data()) != 0;
}

TEST(SelectMatcher, ChoosesByShape) {
    EXPECT_EQ(SelectMatcher(u"a;b?"), &MatchWildList);
    EXPECT_EQ(SelectMatcher(u"*.c;*.h"), &MatchStarList);
    EXPECT_EQ(SelectMatcher(u"a?c*"), &MatchWild);
    EXPECT_EQ(SelectMatcher(u"*.txt"), &MatchStar);
    EXPECT_EQ(SelectMatcher(u"mp3 [x]"), &MatchSubstring);
    EXPECT_EQ(PreparePattern(u""), std::u16string(2, u'\0'));
    EXPECT_EQ(PreparePattern(u";"), std::u16string(2, u'\0'));
    EXPECT_EQ(PreparePattern(u";a;;b;"), std::u16string(u"a\0b\0\0", 5));
}

TEST(Matchers, PlainTextMatchesAnywhere) {
    EXPECT_TRUE(Matches(u"mp3", u"a.MP3"));
    EXPECT_TRUE(Matches(u"MP3", u"mp3info"));
    EXPECT_TRUE(Matches(u"ab", u"aab"));  // a false start does not end the search
    EXPECT_TRUE(Matches(u"abab", u"aababab"));
    EXPECT_FALSE(Matches(u"mp4", u"mp3"));
    EXPECT_FALSE(Matches(u"abc", u"ab"));
    EXPECT_TRUE(Matches(u"[1]", u"copy [1].txt"));  // '[' is literal
    EXPECT_TRUE(Matches(u"a b", u"x a b"));
}

TEST(Matchers, GlobsMatchTheWholeNameAndBacktrack) {
    EXPECT_TRUE(Matches(u"*.mp3", u"X.MP3"));
    EXPECT_TRUE(Matches(u"*.txt", u"a.txt.txt"));
    EXPECT_FALSE(Matches(u"*.mp3", u"x.mp3.bak"));
    EXPECT_TRUE(Matches(u"abc*", u"abc"));
    EXPECT_TRUE(Matches(u"a*", u"a"));
    EXPECT_TRUE(Matches(u"*abc*", u"abc"));
    EXPECT_TRUE(Matches(u"*", u"anything"));
    EXPECT_TRUE(Matches(u"*a*b", u"xaxbxb"));
    EXPECT_FALSE(Matches(u"*a*b", u"xaxbxbc"));
    EXPECT_TRUE(Matches(u"**a**", u"a"));
    EXPECT_TRUE(Matches(u"?", u"x"));
    EXPECT_FALSE(Matches(u"?", u"xy"));
    EXPECT_FALSE(Matches(u"??*", u"x"));
    EXPECT_TRUE(Matches(u"??*", u"xy"));
    EXPECT_TRUE(Matches(u"a?c", u"abc"));
    EXPECT_FALSE(Matches(u"a?c", u"abcd"));
    EXPECT_FALSE(Matches(u"a?c", u"xabc"));
    EXPECT_TRUE(Matches(u"a?b", u"a;b"));  // a name with ';' is reached through wildcards
    EXPECT_TRUE(Matches(u"*[*", u"x[y"));
    // '?' is one code unit: a character outside the BMP takes two.
    EXPECT_TRUE(Matches(u"??", u"\U0001F600"));
    EXPECT_FALSE(Matches(u"?", u"\U0001F600"));
}

TEST(Matchers, ListItemsAreWholeNameGlobs) {
    EXPECT_TRUE(Matches(u"*.mp3;*.wav", u"a.wav"));
    EXPECT_TRUE(Matches(u"abc;abd", u"abd"));
    EXPECT_TRUE(Matches(u"readme;license", u"README"));
    EXPECT_FALSE(Matches(u"readme;license", u"readme.txt"));  // unlike a single plain pattern
    EXPECT_FALSE(Matches(u"*.mp3; *.wav", u"a.wav"));         // the blank belongs to the item
    EXPECT_TRUE(Matches(u"*.mp3; *.wav", u" x.wav"));
    EXPECT_TRUE(Matches(u"*.mp3;", u"a.mp3"));
    EXPECT_FALSE(Matches(u";", u"a"));
    EXPECT_FALSE(Matches(u";;", u"a"));
    EXPECT_TRUE(Matches(u";;a?", u"ab"));
    EXPECT_FALSE(Matches(u"x;a*b", u"a;b;c"));
    EXPECT_TRUE(Matches(u"x;a*c", u"a;b;c"));
}

TEST(Matchers, CaseIsFoldedAcrossUnicode) {
    EXPECT_TRUE(Matches(u"\u00e4.txt", u"\u00c4.TXT"));       // ä finds Ä
    EXPECT_TRUE(Matches(u"\u00c9", u"caf\u00e9"));            // É finds é
    EXPECT_TRUE(Matches(u"\u0436*", u"\u0416\u0443\u043a"));  // Cyrillic
    EXPECT_TRUE(Matches(u"\u03c3", u"\u03a3"));               // Greek
    EXPECT_TRUE(Matches(u"i", u"\u0130"));                    // İ lowers to i
    EXPECT_FALSE(Matches(u"\u00e4", u"a"));
    EXPECT_EQ(FoldCase(u'Z'), u'z');
    EXPECT_EQ(FoldCase(u'['), u'[');
    EXPECT_EQ(FoldCase(0xD800), 0xD800);  // surrogates stay
    EXPECT_EQ(CompareFolded(u"ABC", u"abd"), -1);
    EXPECT_EQ(CompareFolded(u"ab", u"AB"), 0);
    EXPECT_EQ(CompareFolded(u"a", u"ab"), -1);
}

// The obvious exponential glob: slow, but plainly right.
bool ReferenceGlob(std::u16string_view p, std::u16string_view n) {
    if (p.empty()) return n.empty();
    if (p[0] == u'*')
        return ReferenceGlob(p.substr(1), n) || (!n.empty() && ReferenceGlob(p, n.substr(1)));
    if (n.empty()) return false;
    if (p[0] != u'?' && p[0] != FoldCase(n[0])) return false;
    return ReferenceGlob(p.substr(1), n.substr(1));
}

bool ReferenceMatch(std::u16string_view pattern, std::u16string_view name) {
    const std::u16string folded = FoldCaseCopy(pattern);
    std::u16string_view p = folded;
    if (p.find(u';') == std::u16string_view::npos && p.find(u'*') == std::u16string_view::npos &&
        p.find(u'?') == std::u16string_view::npos)
        return FoldCaseCopy(name).find(p) != std::u16string::npos;
    for (size_t start = 0;;) {
        const size_t end = p.find(u';', start);
        const std::u16string_view item =
            p.substr(start, end == std::u16string_view::npos ? p.npos : end - start);
        if (!item.empty() && ReferenceGlob(item, name)) return true;
        if (end == std::u16string_view::npos) return false;
        start = end + 1;
    }
}

TEST(Matchers, AgreeWithAReferenceGlobOnRandomInput) {
    std::mt19937 random(2026);
    const std::u16string pattern_chars = u"ab*?;A\u00e4";
    const std::u16string name_chars = u"abAB\u00c4\u00e4;";
    for (int round = 0; round < 40000; ++round) {
        std::u16string pattern(random() % 7, u' '), name(1 + random() % 8, u' ');
        for (char16_t& c : pattern) c = pattern_chars[random() % pattern_chars.size()];
        for (char16_t& c : name) c = name_chars[random() % name_chars.size()];
        ASSERT_EQ(Matches(pattern, name), ReferenceMatch(pattern, name))
            << "pattern '" << std::string(pattern.begin(), pattern.end()) << "' name '"
            << std::string(name.begin(), name.end()) << "'";
    }
}

}  // namespace
}  // namespace corvella

namespace corvella {
namespace {

TEST(MinimumNameUnits, CountsWhatEveryMatchNeeds) {
    EXPECT_EQ(MinimumNameUnits(PreparePattern(u"include")), 7u);
    EXPECT_EQ(MinimumNameUnits(PreparePattern(u"*.c")), 2u);
    EXPECT_EQ(MinimumNameUnits(PreparePattern(u"a?*b*")), 3u);
    EXPECT_EQ(MinimumNameUnits(PreparePattern(u"*.html;*.c;readme")), 2u);
    EXPECT_EQ(MinimumNameUnits(PreparePattern(u"*")), 0u);
    EXPECT_EQ(MinimumNameUnits(PreparePattern(u";")), 0u);
}

}  // namespace
}  // namespace corvella

namespace corvella {
namespace {

TEST(MatchSubstringKnownLength, AgreesWithMatchSubstringOnRandomNames) {
    std::mt19937 random(77);
    // ASCII both cases, letters past ASCII, and units that fold to ASCII (İ to i, the Kelvin
    // sign to k) at every position of the four-unit steps.
    const std::u16string alphabet = u"ikIKa\u00c4\u00e4\u0130\u212a.";
    for (int round = 0; round < 60000; ++round) {
        std::u16string name(random() % 19, u' '), pattern(1 + random() % 4, u' ');
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
        if (expected != 0) {
            ASSERT_EQ(got, expected);  // the same, first, position
        }
    }
}

}  // namespace
}  // namespace corvella
