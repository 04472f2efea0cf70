// The list's message rows, its row and tool-tip texts, and the status line, character for
// character.
#include "results/list_texts.h"

#include <gtest/gtest.h>

#include "platform/local_time.h"

namespace corvella {
namespace {

constexpr uint64_t kMinute = 60ull * 10000000ull;

// 13:05 local time on 15 January 2024, whatever the zone.
uint64_t LocalJan15At1305() {
    uint64_t midnight = 0;
    EXPECT_TRUE(platform::LocalDayToFileTime(2024, 1, 15, false, midnight));
    return midnight + (13 * 60 + 5) * kMinute + 59 * 10000000ull;
}

TEST(ListTexts, MessageRowsByMode) {
    EXPECT_EQ(ListModeText(ListMode::None), u"");
    EXPECT_EQ(ListModeText(ListMode::Results), u"");
    EXPECT_EQ(ListModeText(ListMode::Searching), u"  Searching......");
    EXPECT_EQ(ListModeText(ListMode::NoResults), u"  No Results Found.");
    EXPECT_EQ(ListModeText(ListMode::CacheBuilding),
              u" The search cache is being built now. It usually takes only 1-5 minutes. Please "
              u"wait a moment.");
    EXPECT_EQ(ListModeText(ListMode::CacheReady),
              u"  The caching is finished! You can start searching now.  ");
}

TEST(ListTexts, StatusLines) {
    EXPECT_EQ(SearchStatusText(999, 1000, 100, 100), u"999 items found (1,000KB), in 0.00s");
    EXPECT_EQ(SearchStatusText(1234567, 5000000000ull, 1000, 13340),
              u"1,234,567 items found (5,000,000,000KB), in 12.34s");
    EXPECT_EQ(SearchStatusText(0, 0, 0xFFFFFFF0u, 0x10u), u"0 items found (0KB), in 0.03s");
    EXPECT_EQ(RemovalStatusText(12345, 67890), u"12,345 Items Found (67,890KB)");
    EXPECT_EQ(RemovalStatusText(1, -1), u"1 Items Found (0KB)");
    EXPECT_EQ(kInvalidLocationStatus,
              u" [WARNING] : The search location is invalid!! Default to be My Computer! ");
}

TEST(ListTexts, RowSizeAndDate) {
    EXPECT_EQ(RowSizeText(0), u"0KB");
    EXPECT_EQ(RowSizeText(4294967295u), u"4,294,967,295KB");
    EXPECT_EQ(RowDateText(LocalJan15At1305()), u"2024-01-15 13:05");
    EXPECT_EQ(RowDateText(0xFFFFFFFFFFFFFFFFull), u"");  // past what a system time holds
}

TEST(ListTexts, ToolTipsOfAnEntryAndOfADrive) {
    EXPECT_EQ(RowToolTipText(u"report.doc", u"C:\\Users\\me\\", LocalJan15At1305(), 12345),
              u"report.doc\rLocation:  C:\\Users\\me\\\r\nDate Modified :  2024-01-15 13:05"
              u"\r\nSize:  12,345 KB");
    EXPECT_EQ(RowToolTipText(u"D:", u"", 0, 1000),
              u"D:\rLocation:  My Computer \r\nModified Date:  N/A\r\nSize:  1,000 KB");
}

}  // namespace
}  // namespace corvella
