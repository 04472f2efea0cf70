// Whole-file verification: what a sound file reports, and damaged files of every kind found without
// a crash or a hang.
#include <gtest/gtest.h>

#include "cache/cache_check.h"
#include "cache/entry_record.h"
#include "support/test_tree.h"

namespace corvella {
namespace {

using test::Check;
// C:\ holds a\ and b.txt; a\ holds c\ and x.txt; c\ is empty.
class CheckTest : public ::testing::Test {
  protected:
    void SetUp() override {
        tree_.Add(u"C:\\", {u"a", true}).Add(u"C:\\", {u"b.txt", false, 5000});
        tree_.Add(u"C:\\a\\", {u"c", true}).Add(u"C:\\a\\", {u"x.txt", false, 1});
        tree_.AddFolder(u"C:\\a\\c\\");
        ASSERT_TRUE(test::BuildFake(tree_, {u"C:\\"}, dir_.U16("c.db")));
        file_ = test::ReadBytes(dir_.path() / "c.db");
        // Block offsets, as laid out in pre-order.
        root_ = kFirstBlockOffset;
        a_ = root_ + 4 + RecordBytes(1) + RecordBytes(5) + 2;
        c_ = a_ + 4 + RecordBytes(1) + RecordBytes(5) + 2;
        ASSERT_EQ(Load32(&file_[kRootEntriesOffset + ValueFieldOffset(2)]), root_);
        ASSERT_EQ(Load32(&file_[root_ + 4 + ValueFieldOffset(1)]), a_);
        ASSERT_EQ(Load32(&file_[a_ + 4 + ValueFieldOffset(1)]), c_);
    }

    std::string FaultAfter(const std::function<void(std::vector<uint8_t>&)>& damage) {
        std::vector<uint8_t> f = file_;
        damage(f);
        const CacheCheckReport r = Check(f);
        return r.ok ? std::string() : r.fault;
    }

    test::TempDir dir_;
    test::FakeTree tree_;
    std::vector<uint8_t> file_;
    uint32_t root_ = 0, a_ = 0, c_ = 0;
};

TEST_F(CheckTest, FindsDamageInHeaderBlocksAndFreeListWithoutHanging) {
    using Damage = std::function<void(std::vector<uint8_t>&)>;
    const auto points_to = [&](uint32_t target) -> Damage {
        return [=, this](auto& f) { Store32(&f[root_ + 4 + ValueFieldOffset(1)], target); };
    };
    // What each damage is, named by the fault it must be found as: a bound that is off lets the
    // walk stumble into some other fault further on.
    const struct {
        const char* what;
        Damage damage;
        const char* fault;
    } rows[] = {
        {"truncated in the header", [](auto& f) { f.resize(1000); }, "shorter than"},
        {"truncated in a block", [&](auto& f) { f.resize(c_ + 3); }, "only"},
        {"marker", [](auto& f) { Store32(&f[kMarkerOffset], 7); }, "marker"},
        {"data end", [](auto& f) { Store32(&f[kDataEndOffset], 0xFFFFFF00); }, "past its file"},
        {"file size", [](auto& f) { Store32(&f[kFileSizeOffset], 0xFFFFFF00); }, "only"},
        {"folder at 4 GiB - 1", points_to(0xFFFFFFF0u), "outside the folder blocks"},
        {"folder at the file's end", points_to(uint32_t(file_.size())), "outside the folder"},
        {"folder in the last two bytes", points_to(uint32_t(file_.size() - 2)),
         "lies outside the file"},
        // A well-formed empty block, but in the drive list's area.
        {"folder in the header", [&](auto& f) { Store32(&f[200], 6), points_to(200)(f); },
         "outside the folder"},
        {"free block in the header",
         [](auto& f) {
             Store32(&f[200], 8), Store32(&f[204], NoBlock), Store32(&f[kFreeListHeadOffset], 200);
         },
         "free list points"},
        {"free block in the last four bytes",
         [](auto& f) { Store32(&f[kFreeListHeadOffset], uint32_t(f.size() - 4)); },
         "free list points"},
        {"free block without room for its link",
         [&](auto& f) { Store32(&f[c_ - 8], 6), Store32(&f[kFreeListHeadOffset], c_ - 8); },
         "capacity of 6"},
        {"capacity too small", [&](auto& f) { Store32(&f[a_], 3); }, "below 6"},
        {"capacity past the file", [&](auto& f) { Store32(&f[c_], 0x7FFFFFFF); }, "past the end"},
        {"no room for the end tag", [&](auto& f) { Store32(&f[a_], c_ - a_ - 2); },
         "record runs past"},
        {"a record for an end tag",
         [&](auto& f) { Store32(&f[c_], 6), Store16(&f[c_ + 4], kTagFile); }, "name runs past"},
        // The block ends two bytes into c\'s capacity, whose zero unit lies just past it.
        {"a name without its NUL",
         [&](auto& f) {
             for (uint32_t i = a_ + 4 + RecordBytes(1); i < c_; i += 2) Store16(&f[i], u'x');
             Store32(&f[a_], c_ - a_ + 2);
         },
         "name runs past"},
        {"a\\ claims the first byte of c\\'s block", [&](auto& f) { Store32(&f[a_], c_ - a_ + 1); },
         "overlap"},
        // Found without hanging.
        {"c\\ holds a folder leading back to the drive's block",
         [&](auto& f) {
             Store32(&f[c_], 6 + RecordBytes(1));
             f.resize(f.size() + RecordBytes(1));
             Store32(&f[kDataEndOffset], static_cast<uint32_t>(f.size()));
             Store32(&f[kFileSizeOffset], static_cast<uint32_t>(f.size()));
             WriteEntryRecord(&f[c_ + 4], {u"l", 0, true, 0});
             Store32(&f[c_ + 4 + ValueFieldOffset(1)], root_);
             Store16(&f[c_ + 4 + RecordBytes(1)], 0);
         },
         "reached twice"},
        {"a free list looping on a\\, cut off from the tree",
         [&](auto& f) {
             Store32(&f[root_ + 4 + ValueFieldOffset(1)], NoBlock);
             Store32(&f[kFreeListHeadOffset], a_);
             Store32(&f[a_ + 4], a_);
         },
         "cycle"},
        {"a free block a folder still uses",
         [&](auto& f) { Store32(&f[kFreeListHeadOffset], a_), Store32(&f[a_ + 4], NoBlock); },
         "still a folder's block"},
    };
    for (const auto& [what, damage, fault] : rows)
        EXPECT_NE(FaultAfter(damage).find(fault), std::string::npos)
            << what << ": " << FaultAfter(damage);
}

TEST_F(CheckTest, RemovedFolderEntriesAndOversizedBlocksAreSound) {
    std::vector<uint8_t> f = file_;
    // A block rewritten in place keeps its larger capacity; a removed folder is skipped.
    Store16(&f[a_ + 4], kTagRemovedFolder);
    const CacheCheckReport r = Check(f);
    EXPECT_TRUE(r.ok && r.folders == 1 && r.files == 2) << r.fault;
}

TEST(BlockReader, RootBlockWithoutCapacityIsReadUpToTheFirstBlock) {
    // The state of a cache copied between drives by older builds: capacity 0, end tag present.
    std::vector<uint8_t> f(kFirstBlockOffset + 6, 0);
    Store32(&f[kMarkerOffset], kMarker);
    uint32_t at = kRootEntriesOffset;
    at += WriteEntryRecord(&f[at], {u"C:", kFolderSizeKiB, true, 0});
    Store32(&f[kRootEntriesOffset + ValueFieldOffset(2)], kFirstBlockOffset);
    Store32(&f[kFirstBlockOffset], 6);
    Store32(&f[kDataEndOffset], uint32_t(f.size()));
    Store32(&f[kFileSizeOffset], uint32_t(f.size()));
    Store32(&f[kFreeListHeadOffset], NoBlock);
    const CacheCheckReport r = Check(f);
    ASSERT_TRUE(r.ok) << r.fault;
    EXPECT_EQ(r.drives, 1u);

    // Drives that fill the list up to the first block, the end tag its last two bytes.
    std::vector<uint8_t> full = f;
    uint32_t end = at;
    for (int i = 0; i < 254; ++i) {
        const uint32_t units = i < 253 ? 250 : 175;
        end += WriteEntryRecord(&full[end], {std::u16string(units, u'd'), NoBlock, true, 0});
    }
    ASSERT_EQ(end + 2, kFirstBlockOffset);
    const CacheCheckReport filled = Check(full);
    EXPECT_TRUE(filled.ok && filled.drives == 255) << filled.fault;

    // Without an end tag the drive list would run into the folder blocks.
    for (uint32_t i = at; i < kFirstBlockOffset; i += 2) Store16(&f[i], kTagFile);
    EXPECT_FALSE(Check(f).ok);
}

}  // namespace
}  // namespace corvella
