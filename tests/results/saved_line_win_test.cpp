// Saved lines go out in the system's ANSI code page.
#include <gtest/gtest.h>
#include <windows.h>

#include "results/results_writer.h"

namespace corvella {
namespace {

TEST(SavedLineWin, AnsiCodePageWithItsDefaultCharacter) {
    // U+4E00 has no place in a Western code page; what the system substitutes stands for it.
    char fallback[8] = {};
    const wchar_t unmappable[] = L"\u4e00";
    BOOL used = FALSE;
    WideCharToMultiByte(CP_ACP, 0, unmappable, 1, fallback, sizeof fallback, nullptr, &used);
    const std::string line = EncodeSavedLine(u"C:\\a\u4e00.txt");
    EXPECT_EQ(line, std::string("C:\\a") + fallback + ".txt\r\n");
    if (GetACP() == 1252) {
        EXPECT_EQ(EncodeSavedLine(u"\u00e4"), "\xe4\r\n");
    }
}

}  // namespace
}  // namespace corvella
