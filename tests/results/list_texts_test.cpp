// The texts the list computes: status lines, sizes and local dates. Fixed wordings are not
// repeated here; the status line across the clock's wrap is held in search_runner_test.
#include "results/list_texts.h"

#include <gtest/gtest.h>

#include "platform/local_time.h"

namespace corvella {
namespace {

TEST(ListTexts, StatusLineGroupsThousandsPast32Bits) {
    EXPECT_EQ(SearchStatusText(999, 1000, 100, 100), u"999 items found (1,000KB), in 0.00s");
    EXPECT_EQ(SearchStatusText(1234567, 5000000000ull, 1000, 13340),
              u"1,234,567 items found (5,000,000,000KB), in 12.34s");
}

TEST(ListTexts, RowSizeAndLocalDate) {
    uint64_t midnight = 0;
    ASSERT_TRUE(platform::LocalDayToFileTime(2024, 1, 15, false, midnight));
    const uint64_t at_1305 = midnight + (13 * 60 + 5) * 600000000ull + 590000000ull;
    EXPECT_EQ(RowSizeText(4294967295u), u"4,294,967,295KB");
    EXPECT_EQ(RowDateText(at_1305), u"2024-01-15 13:05");
    EXPECT_EQ(RowDateText(0xFFFFFFFFFFFFFFFFull), u"");  // past what a system time holds
    EXPECT_NE(RowToolTipText(u"r.doc", u"C:\\me\\", at_1305, 12345).find(u"2024-01-15 13:05"),
              std::u16string::npos);
}

}  // namespace
}  // namespace corvella
