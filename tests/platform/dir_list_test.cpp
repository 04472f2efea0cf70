// Listing one folder: names, kinds, sizes and times, as the build uses them.
#include "platform/dir_list.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>

#include "platform/drives.h"
#include "support/test_tree.h"

namespace corvella {
namespace {

namespace fs = std::filesystem;

struct Seen {
    bool folder;
    uint64_t size;
    uint64_t time;
    bool no_enter;
};

std::map<std::u16string, Seen> List(const std::u16string& folder) {
    platform::DirLister lister;
    std::map<std::u16string, Seen> seen;
    if (!lister.Open(folder)) return seen;
    platform::DirEntry e;
    while (lister.Next(e))
        seen[std::u16string(e.name)] = {e.folder, e.size_bytes, e.last_write, e.no_enter};
    return seen;
}

TEST(DirLister, ListsEveryEntryWithKindSizeAndTime) {
    test::TempDir dir;
    fs::create_directory(dir.path() / "sub");
    test::WriteFileOfSize(dir.path() / "empty.txt", 0);
    test::WriteFileOfSize(dir.path() / "k.bin", 3000);
    test::WriteFileOfSize(dir.path() / fs::u8path(u8"\u00e4\U0001F600.txt"), 1);
    // A fixed time, set through the standard library, must come back as the same FILETIME.
    const auto when = fs::file_time_type::clock::now() - std::chrono::hours(24 * 400);
    fs::last_write_time(dir.path() / "k.bin", when);

    const auto seen = List(dir.U16() + platform::kPathSeparator);
    ASSERT_EQ(seen.size(), 6u);  // ".", "..", and four entries
    EXPECT_TRUE(seen.at(u".").folder);
    EXPECT_TRUE(seen.at(u"..").folder);
    EXPECT_TRUE(seen.at(u"sub").folder);
    EXPECT_FALSE(seen.at(u"sub").no_enter);
    EXPECT_EQ(seen.at(u"empty.txt").size, 0u);
    EXPECT_EQ(seen.at(u"k.bin").size, 3000u);
    EXPECT_FALSE(seen.at(u"k.bin").folder);
    EXPECT_EQ(seen.at(u"\u00e4\U0001F600.txt").size, 1u);

    // FILETIME and the file clock differ by a fixed offset: compare two entries' difference.
    const auto now_entry = seen.at(u"empty.txt").time, old_entry = seen.at(u"k.bin").time;
    const uint64_t days = (now_entry - old_entry) / (10000000ull * 86400);
    EXPECT_GE(days, 399u);
    EXPECT_LE(days, 400u);
    // And the time is a real FILETIME: after 2020-01-01 (132223104000000000).
    EXPECT_GT(now_entry, 132223104000000000ull);
}

TEST(DirLister, AFolderThatIsNotThereCannotBeOpened) {
    test::TempDir dir;
    platform::DirLister lister;
    EXPECT_FALSE(lister.Open(dir.U16("missing") + platform::kPathSeparator));
    platform::DirEntry e;
    EXPECT_FALSE(lister.Next(e));
}

}  // namespace
}  // namespace corvella
