// Saved lines go out in the system's ANSI code page, not in UTF-8 as on Linux.
#include <gtest/gtest.h>
#include <windows.h>

#include "results/results_writer.h"

namespace corvella {
namespace {

TEST(SavedLineWin, WesternCodePageHasOneByteACharacter) {
    if (GetACP() != 1252) GTEST_SKIP() << "code page " << GetACP();
    EXPECT_EQ(EncodeSavedLine(u"C:\\\u00e4\u20ac.txt"), "C:\\\xe4\x80.txt\r\n");
}

}  // namespace
}  // namespace corvella
