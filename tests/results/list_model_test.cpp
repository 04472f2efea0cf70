// The results list's state: modes, borrowed records read only in range, sorting; and the queue of
// rows waiting for icons.
#include "results/list_model.h"

#include <gtest/gtest.h>

#include <memory>
#include <span>

#include "results/icon_queue.h"
#include "support/test_tree.h"

namespace corvella {
namespace {

ResultSet Records(std::initializer_list<std::u16string_view> names) {
    ResultSet set;
    for (std::u16string_view name : names) test::AddResult(set, u"C:\\x\\", name);
    return set;
}

TEST(ListModel, AModeChangeForgetsTheWidestRowAndTheToolTipRow) {
    ResultListModel list;
    list.set_ideal_width(950);
    list.set_tip_item(4);
    list.SetListMode(ListMode::Searching);
    EXPECT_EQ(list.ideal_width(), 600);
    EXPECT_EQ(list.tip_item(), -1);
}

TEST(ListModel, RowsAreReadOnlyInRangeAndWhileRecordsAreShown) {
    ResultListModel list;
    ResultSet set = Records({u"b", u"a"});
    ListItem item;
    std::u16string path;
    EXPECT_FALSE(list.GetItem(0, 1, item));  // the message row
    EXPECT_FALSE(list.Sort(SortKey::Name));
    list.SetResults(&set);
    EXPECT_FALSE(list.GetItem(-1, 2, item));
    // An item count that has not caught up with fewer records reads nothing past them.
    EXPECT_FALSE(list.GetItem(2, 50, item));
    EXPECT_FALSE(list.SetItemIcon(2, 50, 7));
    EXPECT_FALSE(list.GetItemFullPath(1, 1, u'\\', path));
    list.set_tip_item(1);
    ASSERT_TRUE(list.Sort(SortKey::Name));
    EXPECT_EQ(list.tip_item(), -1);
    ASSERT_TRUE(list.SetItemIcon(1, 2, 7));
    ASSERT_TRUE(list.GetItem(1, 2, item));
    EXPECT_EQ(item.name, u"b");
    EXPECT_EQ(item.location, u"C:\\x\\");
    EXPECT_EQ(item.icon, 7);
    ASSERT_TRUE(list.GetItemFullPath(0, 2, u'\\', path));
    EXPECT_EQ(path, u"C:\\x\\a");
}

// Faults: a second removal using its row's old index takes the wrong record; a removal past the
// records (a count that is behind) reads freed memory; the total counts rows no longer shown.
TEST(ListModel, RemovingRowsTakesExactlyThoseRecordsAndRecountsTheRest) {
    ResultListModel list;
    EXPECT_EQ(list.RemoveRows({0}, 1), 0);  // the message row
    EXPECT_FALSE(list.TotalSizeKB(1).has_value());
    ResultSet set;
    for (uint32_t i = 0; i < 5; ++i)
        test::AddResult(set, u"C:\\x\\", std::u16string(1, static_cast<char16_t>(u'a' + i)),
                        10 + i);
    list.SetResults(&set);
    EXPECT_EQ(list.TotalSizeKB(5), 60u);
    EXPECT_EQ(list.TotalSizeKB(0), 0u);
    EXPECT_EQ(list.RemoveRows({1, 3, 4}, 5), 3);
    ListItem item;
    ASSERT_TRUE(list.GetItem(0, 2, item));
    EXPECT_EQ(item.name, u"a");
    ASSERT_TRUE(list.GetItem(1, 2, item));
    EXPECT_EQ(item.name, u"c");
    EXPECT_EQ(item.size_kb, 12u);
    EXPECT_EQ(list.TotalSizeKB(2), 22u);
    // A row beyond the list's count stops the removal there.
    EXPECT_EQ(list.RemoveRows({0, 2}, 2), 1);
    EXPECT_EQ(set.size(), 1u);
}

// Entry e is named names[e], in C:\x\, of 10 + e KB.
class FakeSource final : public RecordSource {
  public:
    explicit FakeSource(std::vector<std::u16string> names) : names_(std::move(names)) {}
    void Write(std::span<const uint32_t> entries, ResultSet& out) const override {
        for (const uint32_t e : entries) test::AddResult(out, u"C:\\x\\", names_[e], 10 + e);
    }
    ResultRow Row(uint32_t e) const override { return {names_[e], u"C:\\x\\", 10 + e}; }
    uint32_t SizeKB(uint32_t e) const override { return 10 + e; }

  private:
    std::vector<std::u16string> names_;
};

// Faults: an icon given to a pending row is lost when the records are written for sorting;
// removing a pending row leaves the icons behind it on the wrong rows, or counts its size.
TEST(ListModel, APendingListingKeepsIconsAndRemovalsWhenItsRecordsAreWritten) {
    ResultSet set;
    set.StartPending(std::make_shared<FakeSource>(
        std::vector<std::u16string>{u"d", u"c", u"b", u"a"})) = {0, 1, 2, 3};
    ResultListModel list;
    list.SetResults(&set);
    ASSERT_TRUE(list.SetItemIcon(2, 4, 7));  // b
    EXPECT_EQ(list.RemoveRows({0}, 4), 1);   // d: c, b, a are left
    EXPECT_EQ(list.TotalSizeKB(3), 11u + 12u + 13u);
    const auto row = [&](int index) {
        ListItem item;
        EXPECT_TRUE(list.GetItem(index, 3, item));
        return std::pair(item.name, item.icon);
    };
    EXPECT_EQ(row(1), std::pair(std::u16string(u"b"), 7));
    ASSERT_TRUE(list.Sort(SortKey::Name));
    EXPECT_FALSE(set.pending());
    EXPECT_EQ(row(0), std::pair(std::u16string(u"a"), kIconUnresolved));
    EXPECT_EQ(row(1), std::pair(std::u16string(u"b"), 7));
    EXPECT_EQ(row(2), std::pair(std::u16string(u"c"), kIconUnresolved));
}

TEST(IconQueue, KeepsTheNewestPageAndOneMoreOldestFirst) {
    IconQueue queue;
    EXPECT_FALSE(queue.TakeFront(3).has_value());
    for (int row = 0; row < 10; ++row) queue.Push(row);
    EXPECT_EQ(queue.TakeFront(3), 6);  // 6..9 kept
    EXPECT_EQ(queue.size(), 3u);
    queue.Push(10);  // exactly a page plus one is left whole
    EXPECT_EQ(queue.TakeFront(3), 7);
    // Before the row height is known a page holds no rows: one is still taken.
    queue.Push(11);
    queue.Push(12);
    EXPECT_EQ(queue.TakeFront(0), 12);
    EXPECT_FALSE(queue.TakeFront(0).has_value());
}

}  // namespace
}  // namespace corvella
