// INI text under the private-profile rules.
#include "platform/ini_text.h"

#include <gtest/gtest.h>

namespace corvella {
namespace {

TEST(IniText, ReadsRegardlessOfCaseAndBlanks) {
    const std::u16string text =
        u"[Other]\r\nCacheFileSize=9\r\n[STATEINFO]\r\n  cachefilesize =  12 \r\n"
        u"quoted=\"a b\"\r\n; comment=1\r\n";
    EXPECT_EQ(IniGet(text, u"stateinfo", u"CACHEFILESIZE"), u"12");
    EXPECT_EQ(IniGet(text, u"OTHER", u"CacheFileSize"), u"9");
    EXPECT_EQ(IniGet(text, u"STATEINFO", u"quoted"), u"a b");
    EXPECT_EQ(IniGet(text, u"STATEINFO", u"; comment"), std::nullopt);
    EXPECT_EQ(IniGet(text, u"MISSING", u"CacheFileSize"), std::nullopt);
}

TEST(IniText, WritesReplacesAddsAndDeletes) {
    std::u16string text;
    text = IniSet(text, u"STATEINFO", u"ProgramExit", u"FALSE");
    text = IniSet(text, u"CACHEFILE", u"filepath", u"default.db");
    text = IniSet(text, u"stateinfo", u"CacheFileSize", u"3");
    text = IniSet(text, u"StateInfo", u"PROGRAMEXIT", u"TRUE");
    EXPECT_EQ(text,
              u"[STATEINFO]\r\nPROGRAMEXIT=TRUE\r\nCacheFileSize=3\r\n[CACHEFILE]\r\n"
              u"filepath=default.db\r\n");
    text = IniSet(text, u"STATEINFO", u"programexit", std::nullopt);
    EXPECT_EQ(IniGet(text, u"STATEINFO", u"ProgramExit"), std::nullopt);
    EXPECT_EQ(IniGet(text, u"STATEINFO", u"CacheFileSize"), u"3");
    EXPECT_EQ(IniSet(text, u"NONE", u"x", std::nullopt), text);
}

TEST(IniText, NumbersReadLikeWtoi) {
    const std::pair<const char16_t*, int> cases[] = {{u"42", 42},
                                                     {u"  -7abc", -7},
                                                     {u"abc", 0},
                                                     {u"", 0},
                                                     {u"99999999999999", 2147483647},
                                                     {u"-99999999999999", -2147483647 - 1}};
    for (const auto& [text, n] : cases) EXPECT_EQ(IniNumber(text), n);
}

}  // namespace
}  // namespace corvella
