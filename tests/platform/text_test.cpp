// UTF-8 and UTF-16: every name a file system can give comes back unchanged.
#include "platform/text.h"

#include <gtest/gtest.h>

#include <random>

namespace corvella {
namespace {

TEST(Text, ValidTextConvertsAndUndecodableBytesEscapeToLowSurrogates) {
    const struct {
        std::string bytes;
        std::u16string text;
    } cases[] = {
        {"plain.txt", u"plain.txt"},
        {"\xc3\xa4\xe6\x97\xa5\xf0\x9f\x98\x80", u"\u00e4\u65e5\U0001F600"},
        {"bad\xff", u"bad\xdcff"},
        {"\xc3", u"\xdcc3"},                                // cut-off sequence
        {"\xc0\xaf", u"\xdcc0\xdcaf"},                      // overlong "/"
        {"\xe0\x80\xaf", u"\xdce0\xdc80\xdcaf"},            // overlong in three bytes
        {"\xed\xa0\x80", u"\xdced\xdca0\xdc80"},            // an encoded surrogate
        {"\xf4\x90\x80\x80", u"\xdcf4\xdc90\xdc80\xdc80"},  // past U+10FFFF
        {"a\xe6\x97z", u"a\xdce6\xdc97z"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FromUtf8(c.bytes), c.text) << c.bytes;
        EXPECT_EQ(ToUtf8(c.text), c.bytes) << c.bytes;
    }
}

TEST(Text, AnyByteStringRoundTrips) {
    std::mt19937 random(7);
    for (int round = 0; round < 20000; ++round) {
        std::string bytes(random() % 12, '\0');
        for (char& b : bytes) {
            // Weighted toward the bytes that start and continue sequences.
            const unsigned r = random() % 4;
            b = char(r == 0 ? random() % 0x80 : r == 1 ? 0x80 + random() % 0x40 : 0xC0 + random() % 0x40);
        }
        ASSERT_EQ(ToUtf8(FromUtf8(bytes)), bytes);
    }
}

TEST(Text, AsciiCaseBlindEquality) {
    EXPECT_TRUE(EqualsAsciiNoCase(u"C:\\Users\\", u"c:\\uSERS\\"));
    EXPECT_FALSE(EqualsAsciiNoCase(u"C:\\Users", u"C:\\Users\\"));
    EXPECT_FALSE(EqualsAsciiNoCase(u"[", u"{"));  // 0x5B and 0x7B differ by 32 but are not letters
    EXPECT_FALSE(EqualsAsciiNoCase(u"@", u"`"));
}

}  // namespace
}  // namespace corvella
