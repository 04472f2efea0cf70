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

TEST(DirLister, ListsEveryEntryWithKindSizeAndTime) {
    test::TempDir dir;
    fs::create_directory(dir.path() / "sub");
    test::WriteFileOfSize(dir.path() / "empty.txt", 0);
    test::WriteFileOfSize(dir.path() / "k.bin", 3000);
    test::WriteFileOfSize(dir.path() / fs::u8path(u8"\u00e4\U0001F600.txt"), 1);
    fs::last_write_time(dir.path() / "k.bin",
                        fs::file_time_type::clock::now() - std::chrono::hours(24 * 400));
    platform::DirLister lister;
    ASSERT_TRUE(lister.Open(dir.U16() + platform::kPathSeparator));
    std::map<std::u16string, platform::DirEntry> seen;
    platform::DirEntry e;
    while (lister.Next(e)) seen[std::u16string(e.name)] = e;
    ASSERT_EQ(seen.size(), 6u);  // ".", "..", and four entries
    EXPECT_TRUE(seen.at(u"..").folder);
    EXPECT_TRUE(seen.at(u"sub").folder);
    EXPECT_FALSE(seen.at(u"sub").no_enter);
    EXPECT_FALSE(seen.at(u"k.bin").folder);
    EXPECT_EQ(seen.at(u"k.bin").size_bytes, 3000u);
    EXPECT_EQ(seen.at(u"empty.txt").size_bytes, 0u);
    EXPECT_EQ(seen.at(u"\u00e4\U0001F600.txt").size_bytes, 1u);
    // FILETIME (after 2020-01-01), 400 days apart.
    const uint64_t now = seen.at(u"empty.txt").last_write, old = seen.at(u"k.bin").last_write;
    EXPECT_GT(now, 132223104000000000ull);
    EXPECT_NEAR(double(now - old) / (10000000.0 * 86400), 400.0, 1.0);

    platform::DirLister missing;
    EXPECT_FALSE(missing.Open(dir.U16("missing") + platform::kPathSeparator));
    EXPECT_FALSE(missing.Next(e));
}

}  // namespace
}  // namespace corvella
