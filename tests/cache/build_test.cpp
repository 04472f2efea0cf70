// The walk: what is entered and what is not, drives, progress and the summary, and folders that
// cannot be listed or run out of memory. The order of entries and blocks over a real tree is read
// back by tools/verify_index.py.
#include <gtest/gtest.h>

#include <regex>

#include "cache/cache_check.h"
#include "cache/cacher.h"
#include "platform/profile.h"
#include "support/cache_fixtures.h"

namespace corvella {
namespace {

using test::Check;
using test::ReadAllEntries;
using test::Values;
using Build = test::FakeBuild;

TEST(BuildOrder, PosixRootsAreNamedByTheirPath) {
    Build b;
    b.tree.Add(u"/", {u"etc", true}).Add(u"/etc/", {u"hosts"});
    b.tree.Add(u"/srv/data/", {u"a"});
    ASSERT_TRUE(b.Run({u"/", u"/srv/data/"}));
    const auto f = b.File();
    // Drives in the given order, their blocks too.
    EXPECT_EQ(
        test::Paths(ReadAllEntries(f, u'/')),
        (std::vector<std::u16string>{u"/", u"/srv/data", u"/etc", u"/etc/hosts", u"/srv/data/a"}));
    EXPECT_EQ(b.tree.opened, (std::vector<std::u16string>{u"/", u"/etc/", u"/srv/data/"}));
}

TEST(NotEntered, ReparseFoldersSkipFolderAndDotEntries) {
    Build b;
    b.cacher.SetSkipFolder(u"c:\\users\\me\\nethood\\");  // compared regardless of case
    b.tree.Add(u"C:\\", {u"."}).Add(u"C:\\", {u"..", true}).Add(u"C:\\", {u".", true});
    b.tree.Add(u"C:\\", {u"junction", true, 0, 5, true}).Add(u"C:\\", {u"Users", true});
    b.tree.Add(u"C:\\Users\\", {u"Me", true}).Add(u"C:\\Users\\Me\\", {u"NetHood", true});
    b.tree.Add(u"C:\\Users\\Me\\NetHood\\", {u"share.lnk"}).Add(u"C:\\junction\\", {u"loop.txt"});
    ASSERT_TRUE(b.Run({u"C:\\"}));
    const auto value = Values(b.File());
    EXPECT_EQ(value.at(u"C:\\junction"), NoBlock);
    EXPECT_EQ(value.at(u"C:\\Users\\Me\\NetHood"), NoBlock);
    // A file named "." is a file like any other; only the folder entries "." and ".." go.
    EXPECT_EQ(value.count(u"C:\\."), 1u);
    EXPECT_EQ(value.count(u"C:\\.."), 0u);
    EXPECT_EQ(b.tree.opened,
              (std::vector<std::u16string>{u"C:\\", u"C:\\Users\\", u"C:\\Users\\Me\\"}));
}

TEST(Unlistable, FoldersThatCannotBeListedGetEmptyBlocks) {
    Build b;
    b.tree.Add(u"C:\\", {u"locked", true}).Add(u"C:\\", {u"empty", true});
    b.tree.AddFolder(u"C:\\empty\\");        // "locked" is not listable at all
    ASSERT_TRUE(b.Run({u"C:\\", u"D:\\"}));  // nor is D:\ itself
    const auto f = b.File();
    EXPECT_EQ(f.size(), kFirstBlockOffset + (4 + RecordBytes(6) + RecordBytes(5) + 2) + 3 * 6);
    EXPECT_EQ(Check(f).drives, 2u);
}

TEST(Progress, ShownAtEveryThousandWithTheDriveLetterThenTheSummary) {
    Build b;
    b.tree.Add(u"E:\\", {u".", true}).Add(u"E:\\", {u"..", true}).Add(u"E:\\", {u"sub", true});
    b.tree.AddGenerated(u"E:\\", 2500, 12).AddFolder(u"E:\\sub\\");
    ASSERT_TRUE(b.Run({u"E:\\"}));
    const std::regex drive(R"(\[Caching Drive E \] (\d+) items cached,  \d+s \(\d+\.\dGB\))");
    std::vector<int> counts;
    ASSERT_FALSE(b.status.texts.empty());
    for (size_t i = 0; i + 1 < b.status.texts.size(); ++i) {
        std::smatch m;
        const std::string text = test::Narrow(b.status.texts[i]);
        ASSERT_TRUE(std::regex_match(text, m, drive)) << text;
        counts.push_back(std::stoi(m[1]));
    }
    EXPECT_EQ(counts, (std::vector<int>{1000, 2000}));
    // Files of 0..2,499 bytes: 1,023 count 1 KiB, 1,024 count 2, and 452 count 3; folders none.
    EXPECT_EQ(b.cacher.total_kib(), 1023u + 2 * 1024u + 3 * 452u);
    EXPECT_TRUE(std::regex_match(
        test::Narrow(b.status.texts.back()),
        std::regex(R"(\[Caching is Finished\] 2502 items cached,  \d+s \(0\.0GB\))")))
        << test::Narrow(b.status.texts.back());
    // The size is recorded in whole MiB beside the cache: this one is under one.
    ASSERT_LT(b.File().size(), 1u << 20);
    EXPECT_EQ(platform::ReadIniString(b.dir.U16("stateinfo.ini"), u"STATEINFO", u"CacheFileSize",
                                      u"none"),
              u"0");
}

TEST(AllocationFailure, AbandonedFolderIsWellFormedAndSiblingsGoOn) {
    Build b;
    b.tree.Add(u"C:\\", {u"bad", true}).Add(u"C:\\", {u"good", true});
    b.tree.Add(u"C:\\bad\\", {u"kept.txt"})
        .Add(u"C:\\bad\\", {u"sub", true})
        .Add(u"C:\\bad\\", {u"lost.txt"});
    b.tree.Add(u"C:\\bad\\sub\\", {u"never.txt"});
    b.tree.Add(u"C:\\good\\", {u"fine.txt"});
    b.tree.on_next = [](const std::u16string& folder, size_t index) {
        if (folder == u"C:\\bad\\" && index == 2) throw std::bad_alloc();
    };
    ASSERT_TRUE(b.Run({u"C:\\"}));
    ASSERT_EQ(b.errors.messages.size(), 1u);
    EXPECT_EQ(b.errors.messages[0], u"Memory Allocation Failure! In CCacher::TraverseDirectory");
    const auto f = b.File();
    ASSERT_TRUE(Check(f).ok) << Check(f).fault;
    const auto value = Values(f);
    EXPECT_EQ(value.count(u"C:\\bad\\kept.txt"), 1u);
    EXPECT_EQ(value.at(u"C:\\bad\\sub"), NoBlock);  // its walk never happened
    EXPECT_EQ(value.count(u"C:\\bad\\lost.txt"), 0u);
    EXPECT_EQ(value.count(u"C:\\good\\fine.txt"), 1u);
}

}  // namespace
}  // namespace corvella
