// The working file and the copies that publish it: growth, what each copy holds, what happens when
// the cache file is held by another opener, and the 4 GiB limit.
#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "cache/cache_check.h"
#include "cache/cacher.h"
#include "platform/file.h"
#include "platform/profile.h"
#include "platform/text.h"
#include "support/cache_fixtures.h"

namespace corvella {
namespace {

using test::FakeTree;
namespace fs = std::filesystem;

constexpr uint64_t MiB = 1 << 20;
const std::u16string kCannotOpen =
    u"Can not create or open dat file! File may "
    u"be used by another program! In CCacher::";

using Build = test::FakeBuild;

// Folder number i of C:\, holding 18,000 generated files: about 1 MiB of records.
void AddMiBFolder(FakeTree& tree, int i) {
    const std::u16string name = u"d" + std::u16string(1, char16_t(u'A' + i));
    tree.Add(u"C:\\", {name, true}).AddGenerated(u"C:\\" + name + u"\\", 18000, 20);
}

TEST(WorkingFile, GrowsOnceTo82MiBOnlyAfterPassing34MiB) {
    // Many folders of 1 MiB each: the threshold is met before a folder, never inside one.
    Build below;
    for (int i = 0; i < 30; ++i) AddMiBFolder(below.tree, i);
    ASSERT_TRUE(below.Run({u"C:\\"}));
    ASSERT_LT(below.cacher.write_offset(), 34 * MiB);
    EXPECT_EQ(below.cacher.map_size(), 50 * MiB);

    Build above;
    for (int i = 0; i < 40; ++i) AddMiBFolder(above.tree, i);
    ASSERT_TRUE(above.Run({u"C:\\"}));
    ASSERT_GT(above.cacher.write_offset(), 34 * MiB);
    ASSERT_LT(above.cacher.write_offset(), 66 * MiB);
    EXPECT_EQ(above.cacher.map_size(), 82 * MiB);
    EXPECT_EQ(test::Check(above.File()).files, 40u * 18000u);

    // The next build of the same builder starts where the last one ended.
    std::optional<uint64_t> size_at_start;
    above.tree.on_open = [&](const std::u16string&) {
        if (!size_at_start) size_at_start = above.cacher.map_size();
    };
    ASSERT_TRUE(above.Run({u"C:\\"}));
    EXPECT_EQ(size_at_start, 82 * MiB);
}

TEST(WorkingFile, AFolderLargerThanTheHeadroomStillBuilds) {
    // Small sizes keep the test quick; the rule is the same at 50/16/32 MiB.
    Build b(WorkingFileSizes{1 * MiB, 256 * 1024, 512 * 1024, 0xFFFFFFFF});
    b.tree.Add(u"C:\\", {u"huge", true}).Add(u"C:\\", {u"after", true});
    b.tree.AddGenerated(u"C:\\huge\\", 60000, 20);  // 3.2 MiB in one block
    b.tree.AddGenerated(u"C:\\after\\", 10, 20);
    ASSERT_TRUE(b.Run({u"C:\\"}));
    EXPECT_TRUE(b.errors.messages.empty());
    EXPECT_EQ(test::Check(b.File()).files, 60010u);
}

TEST(Copies, FirstBuildPublishesAnEmptyCacheThenOneDriveMoreAfterEachDrive) {
    Build b;
    b.tree.Add(u"C:\\", {u"c.txt"}).Add(u"D:\\", {u"d.txt"}).Add(u"E:\\", {u"e.txt"});
    std::vector<std::pair<uint64_t, uint32_t>> seen;  // (length, drives) when each drive starts
    b.tree.on_open = [&](const std::u16string& folder) {
        const auto f = b.File();
        const CacheCheckReport r = test::Check(f);
        EXPECT_TRUE(r.ok) << "before " << test::Narrow(folder) << ": " << r.fault;
        seen.emplace_back(f.size(), r.drives);
    };
    ASSERT_TRUE(b.Run({u"C:\\", u"D:\\", u"E:\\"}));
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0], std::make_pair(uint64_t(kFirstBlockOffset), 0u));
    EXPECT_EQ(seen[2].second, 2u);
    EXPECT_EQ(test::Check(b.File()).drives, 3u);
}

TEST(Copies, HeldCacheFailsWithItsMessageKeepsTheOldFileAndTheNextCopySucceeds) {
    Build b;
    b.tree.Add(u"C:\\", {u"c.txt"}).Add(u"D:\\", {u"d.txt"});
    platform::ExclusiveFile holder;
    std::vector<uint8_t> while_held;
    b.tree.on_open = [&](const std::u16string& folder) {
        if (folder == u"C:\\") {
            ASSERT_TRUE(holder.OpenExisting(b.CachePath()));  // held through the copy after C:
        } else if (folder == u"D:\\") {
            holder.Close();
            while_held = b.File();
        }
    };
    ASSERT_TRUE(b.Run({u"C:\\", u"D:\\"}));
    ASSERT_EQ(b.errors.messages.size(), 1u);
    EXPECT_EQ(b.errors.messages[0], kCannotOpen + u"SaveCacheFileTemp - 000");
    // The failed copy left the previous file as it was: empty, and whole.
    EXPECT_EQ(while_held.size(), kFirstBlockOffset);
    EXPECT_EQ(test::Check(b.File()).drives, 2u);
    EXPECT_FALSE(fs::exists(b.dir.path() / "cache.db.new"));
}

TEST(Copies, HeldCacheAtTheEndFailsTheFinalCopyWithoutSummaryOrSize) {
    Build b;
    b.tree.Add(u"C:\\", {u"c.txt"});
    platform::ExclusiveFile holder;
    std::vector<uint8_t> before;
    b.tree.on_open = [&](const std::u16string&) {
        before = b.File();
        ASSERT_TRUE(holder.OpenExisting(b.CachePath()));
    };
    EXPECT_FALSE(b.Run({u"C:\\"}));
    holder.Close();
    ASSERT_EQ(b.errors.messages.size(), 2u);
    EXPECT_EQ(b.errors.messages[1], kCannotOpen + u"ReleaseFile - 000");
    EXPECT_EQ(b.File(), before);
    for (const auto& text : b.status.texts) EXPECT_EQ(text.find(u"Finished"), std::u16string::npos);
    EXPECT_EQ(platform::ReadIniString(b.dir.U16("stateinfo.ini"), u"STATEINFO", u"CacheFileSize",
                                      u"absent"),
              u"absent");
    EXPECT_FALSE(fs::exists(b.dir.path() / "cache.db.tmp"));
}

TEST(Copies, AWorkingFileThatCannotBeCreatedEndsTheBuildAtOnce) {
    test::TempDir dir;
    test::CollectErrors errors;
    FakeTree tree;
    tree.Add(u"C:\\", {u"c.txt"});
    CCacher cacher(errors, dir.U16("no-such-folder/cache.db"));
    cacher.SetListingSource(&tree);
    EXPECT_FALSE(cacher.BuildCache({u"C:\\"}));
    ASSERT_EQ(errors.messages.size(), 1u);
    EXPECT_EQ(errors.messages[0], kCannotOpen + u"InitFile - 000");
    EXPECT_TRUE(tree.opened.empty());
}

TEST(SizeLimit, ABuildThatFitsExactlyCompletesOneByteLessStopsAndKeepsThePreviousCache) {
    // A limit of a few hundred KiB stands in for the format's 4 GiB; the last record written is
    // the one whose end tag meets the limit.
    const auto build = [](uint64_t limit) {
        auto b =
            std::make_unique<Build>(WorkingFileSizes{256 * 1024, 64 * 1024, 128 * 1024, limit});
        b->tree.Add(u"C:\\", {u"small.txt"}).AddGenerated(u"D:\\", 5000, 20);
        return b;
    };
    const std::vector<std::u16string> roots{u"C:\\", u"D:\\"};
    auto full = build(0xFFFFFFFF);
    ASSERT_TRUE(full->Run(roots));
    const uint64_t exact = full->File().size();
    ASSERT_GT(exact, 256u * 1024);
    EXPECT_TRUE(build(exact)->Run(roots));
    auto b = build(exact - 1);
    ASSERT_FALSE(b->Run(roots));
    ASSERT_EQ(b->errors.messages.size(), 1u);
    EXPECT_NE(b->errors.messages[0].find(u"4 GiB"), std::u16string::npos);
    const CacheCheckReport report = test::Check(b->File());
    EXPECT_TRUE(report.ok && report.drives == 1 && report.files == 1) << report.fault;
    EXPECT_FALSE(fs::exists(b->dir.path() / "cache.db.tmp"));
}

TEST(SizeLimit, ADriveListThatFitsExactlyBuildsOneUnitMoreIsRefused) {
    // 254 drives whose records fill the list up to the first folder block, its end tag the last
    // two bytes; one more unit in the last name would put that tag on the first block.
    for (const uint32_t last_units : {185u, 186u}) {
        Build b;
        std::vector<std::u16string> roots;
        for (int i = 0; i < 254; ++i) {
            const std::u16string id = Widen(std::to_string(1000 + i));
            roots.push_back(id + std::u16string((i < 253 ? 250 : last_units) - 4, u'd') + u"\\");
        }
        const bool fits = last_units == 185;
        EXPECT_EQ(b.Run(roots), fits) << last_units;
        if (fits) {
            const CacheCheckReport report = test::Check(b.File());
            EXPECT_TRUE(report.ok && report.drives == 254) << report.fault;
        } else {
            ASSERT_EQ(b.errors.messages.size(), 1u);
            EXPECT_NE(b.errors.messages[0].find(u"Too many drives"), std::u16string::npos);
        }
    }
}

}  // namespace
}  // namespace corvella
