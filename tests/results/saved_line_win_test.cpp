// Saved lines go out in the system's ANSI code page only when they convert exactly.
#include <gtest/gtest.h>
#include <windows.h>

#include "results/results_writer.h"

namespace corvella {
namespace {

// Faults caught: a character outside the code page written as "?" (or as a look-alike by the
// system's best fit, "a" for "ā") while the line is reported as converted.
TEST(SavedLineWin, OnlyExactConversionsCount) {
    if (GetACP() != 1252) GTEST_SKIP() << "code page " << GetACP();
    std::string bytes;
    ASSERT_TRUE(EncodeAnsiExactly(u"C:\\\u00e4\u20ac.txt", bytes));
    EXPECT_EQ(bytes, "C:\\\xe4\x80.txt");
    EXPECT_FALSE(EncodeAnsiExactly(u"C:\\\u03a9.txt", bytes));    // Greek
    EXPECT_FALSE(EncodeAnsiExactly(u"C:\\\u65e5\u672c", bytes));  // Japanese
    EXPECT_FALSE(EncodeAnsiExactly(u"C:\\\u0101.txt", bytes));    // best fit would give "a"
    EXPECT_TRUE(EncodeAnsiExactly(u"", bytes) && bytes.empty());
}

}  // namespace
}  // namespace corvella
