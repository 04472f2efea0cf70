// The results list's state: modes, borrowed records and their guards, removal and totals; and the
// queue of rows waiting for icons.
#include "results/list_model.h"

#include <gtest/gtest.h>

#include "results/icon_queue.h"

namespace corvella {
namespace {

ResultSet Records(std::initializer_list<std::pair<std::u16string_view, uint32_t>> rows) {
    ResultSet set;
    for (const auto& [name, size] : rows) {
        ResultRecord r;
        r.location = uint32_t(set.pool.size());
        const std::u16string_view location = u"C:\\x\\";
        set.pool.insert(set.pool.end(), location.begin(), location.end());
        set.pool.push_back(0);
        r.name = uint32_t(set.pool.size());
        set.pool.insert(set.pool.end(), name.begin(), name.end());
        set.pool.push_back(0);
        r.size_kb = size;
        set.records.push_back(r);
    }
    return set;
}

std::vector<std::u16string> Names(const ResultListModel& list, int count) {
    std::vector<std::u16string> names;
    std::u16string name, location;
    for (int i = 0; i < count; ++i)
        if (list.GetItemPaths(i, count, name, location)) names.push_back(name);
    return names;
}

TEST(ListModel, AModeChangeForgetsTheWidestRowAndTheToolTipRow) {
    ResultListModel list;
    EXPECT_EQ(list.list_mode(), ListMode::None);
    EXPECT_EQ(list.tip_item(), -1);
    list.set_ideal_width(950);
    list.set_tip_item(4);
    list.SetListMode(ListMode::Searching);
    EXPECT_EQ(list.list_mode(), ListMode::Searching);
    EXPECT_EQ(list.ideal_width(), 600);
    EXPECT_EQ(list.tip_item(), -1);
}

TEST(ListModel, RowsAreReadOnlyInRangeAndWhileRecordsAreShown) {
    ResultListModel list;
    ResultSet set = Records({{u"a", 1}, {u"b", 2}});
    std::u16string name, location;
    bool folder = true;
    EXPECT_FALSE(list.GetItemPaths(0, 1, name, location));  // the message row
    EXPECT_FALSE(list.IsItemFolder(0, 1, folder));
    list.SetResults(&set);
    ASSERT_TRUE(list.GetItemPaths(1, 2, name, location));
    EXPECT_EQ(name, u"b");
    EXPECT_EQ(location, u"C:\\x\\");
    ASSERT_TRUE(list.IsItemFolder(1, 2, folder));
    EXPECT_FALSE(folder);
    EXPECT_FALSE(list.GetItemPaths(-1, 2, name, location));
    // An item count that has not caught up with fewer records reads nothing past them.
    EXPECT_FALSE(list.GetItemPaths(2, 50, name, location));
    EXPECT_FALSE(list.SetItemIcon(2, 50, 7));
    ASSERT_TRUE(list.SetItemIcon(0, 2, 7));
    ListItem item;
    ASSERT_TRUE(list.GetItem(0, 2, item));
    EXPECT_EQ(item.icon, 7);
    ASSERT_TRUE(list.GetItemFullPath(0, 2, u'\\', location));
    EXPECT_EQ(location, u"C:\\x\\a");
}

TEST(ListModel, RemovingRowsClosesTheGapAndStopsOutOfRange) {
    ResultListModel list;
    ResultSet set = Records({{u"a", 1}, {u"b", 2}, {u"c", 3}});
    EXPECT_FALSE(list.RemoveItem(0, 1));  // no records shown
    list.SetResults(&set);
    EXPECT_FALSE(list.RemoveItem(3, 3));
    EXPECT_TRUE(list.RemoveItem(2, 3));  // the last row: nothing moves
    EXPECT_EQ(Names(list, 2), (std::vector<std::u16string>{u"a", u"b"}));
    EXPECT_TRUE(list.RemoveItem(0, 2));
    EXPECT_EQ(Names(list, 1), (std::vector<std::u16string>{u"b"}));
}

TEST(ListModel, TotalSizeIsZeroForNoRowsMinusOneForNoRecordsAndDoesNotWrap) {
    ResultListModel list;
    EXPECT_EQ(list.GetTotalSizeKB(0), 0);
    EXPECT_EQ(list.GetTotalSizeKB(1), -1);
    ResultSet set = Records({{u"a", 0xFFFFFFFFu}, {u"b", 0xFFFFFFFFu}, {u"c", 2}});
    list.SetResults(&set);
    EXPECT_EQ(list.GetTotalSizeKB(3), int64_t(0xFFFFFFFFu) * 2 + 2);
    EXPECT_EQ(list.GetTotalSizeKB(0), 0);
}

TEST(ListModel, SortingNeedsRecordsAndForgetsTheToolTipRow) {
    ResultListModel list;
    list.set_tip_item(1);
    EXPECT_FALSE(list.Sort(SortKey::Name));
    ResultSet set = Records({{u"b", 1}, {u"a", 2}});
    list.SetResults(&set);
    list.set_tip_item(1);
    EXPECT_TRUE(list.Sort(SortKey::Name));
    EXPECT_EQ(list.tip_item(), -1);
    EXPECT_EQ(Names(list, 2), (std::vector<std::u16string>{u"a", u"b"}));
}

TEST(IconQueue, KeepsTheNewestPageAndOneMoreOldestFirst) {
    IconQueue queue;
    EXPECT_FALSE(queue.TakeFront(3).has_value());
    for (int row = 0; row < 10; ++row) queue.Push(row);
    EXPECT_EQ(queue.TakeFront(3), 6);  // 6..9 kept
    EXPECT_EQ(queue.size(), 3u);
    // A queue of exactly a page plus one is left whole.
    queue.Push(10);
    EXPECT_EQ(queue.TakeFront(3), 7);
    EXPECT_EQ(queue.TakeFront(3), 8);
    // Before the row height is known a page holds no rows: one is still taken.
    queue.Push(11);
    queue.Push(12);
    EXPECT_EQ(queue.TakeFront(0), 12);
    EXPECT_FALSE(queue.TakeFront(0).has_value());
}

}  // namespace
}  // namespace corvella
