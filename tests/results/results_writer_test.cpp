// The saved file's lines and their extra tokens. The command line's formats are held against
// tools/reference_search.py; thousands are grouped in list_texts_test.
#include "results/results_writer.h"

#include <gtest/gtest.h>

#include "platform/local_time.h"

namespace corvella {
namespace {

// Faults caught: a size with thousands separators splits a comma-separated line into more
// fields; a date in UTC, without seconds or without zero padding is not the local ISO form; a
// name that looks like a token expanded by a second pass.
TEST(SavedLine, SizeAndLocalDateForSpreadsheets) {
    uint64_t midnight = 0;
    ASSERT_TRUE(platform::LocalDayToFileTime(2024, 3, 5, false, midnight));
    const uint64_t at = midnight + ((7 * 60 + 8) * 60 + 9) * 10000000ull;  // 07:08:09 local
    const SavedLineFields fields{u"C:\\x\\", u"[SIZE] [DATE].txt", 1234567, at};
    EXPECT_EQ(FormatSavedLine(u"\"[FILEDIR][FILENAME]\",[SIZE],[DATE]", fields),
              u"\"C:\\x\\[SIZE] [DATE].txt\",1234567,2024-03-05 07:08:09");
    EXPECT_EQ(FormatSavedLine(u"[DATE]|[SIZE]", {u"", u"C:", 0, ~0ull}), u"|0");
}

}  // namespace
}  // namespace corvella
