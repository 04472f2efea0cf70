// Result lines and the thousands separator.
#include "results/results_writer.h"

#include <gtest/gtest.h>

namespace corvella {
namespace {

TEST(ResultLine, TokensAreReplacedEverywhereInOnePass) {
    EXPECT_EQ(FormatResultLine(u"[FILEDIR][FILENAME]", u"C:\\x\\", u"a.txt"), u"C:\\x\\a.txt");
    EXPECT_EQ(FormatResultLine(u"[FILENAME] - [FILENAME]", u"C:\\", u"b"), u"b - b");
    EXPECT_EQ(FormatResultLine(u"copy \"[FILEDIR][FILENAME]\" [FILEDIR]", u"D:\\", u"c"),
              u"copy \"D:\\c\" D:\\");
    EXPECT_EQ(FormatResultLine(u"[FILEDIR][FILENAME]", u"", u"C:"), u"C:");  // a drive row
    EXPECT_EQ(FormatResultLine(u"[FILEDIR", u"x", u"y"), u"[FILEDIR");
    // A folder whose own name looks like a token is written as it is.
    EXPECT_EQ(FormatResultLine(u"[FILEDIR]|[FILENAME]", u"C:\\[FILENAME]\\", u"n"),
              u"C:\\[FILENAME]\\|n");
    EXPECT_TRUE(FormatHasToken(u"x[FILENAME]"));
    EXPECT_FALSE(FormatHasToken(u"[FILE]"));
}

TEST(ResultLine, SavedLinesEndInCrLf) {
#ifndef _WIN32
    EXPECT_EQ(EncodeSavedLine(u"C:\\\u00e4.txt"), "C:\\\xc3\xa4.txt\r\n");
#endif
    EXPECT_EQ(EncodeSavedLine(u""), "\r\n");
}

TEST(FormatThousands, GroupsOfThreeFromTheRight) {
    EXPECT_EQ(FormatThousands(0), u"0");
    EXPECT_EQ(FormatThousands(999), u"999");
    EXPECT_EQ(FormatThousands(1000), u"1,000");
    EXPECT_EQ(FormatThousands(12345), u"12,345");
    EXPECT_EQ(FormatThousands(1234567), u"1,234,567");
    EXPECT_EQ(FormatThousands(4294967295u), u"4,294,967,295");
    EXPECT_EQ(FormatThousands(8589934590ull), u"8,589,934,590");
}

}  // namespace
}  // namespace corvella
