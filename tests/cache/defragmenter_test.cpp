// Defragmentation: a fresh build comes back byte for byte, a held or unreplaceable cache file is
// left as it was, damaged or deep trees are copied safely. Files loosened by real updates are
// compacted and compared with a fresh build by the model-based update test.
#include "cache/defragmenter.h"

#include <gtest/gtest.h>

#include "cache/cache_check.h"
#include "cache/state_file.h"
#include "support/cache_fixtures.h"

namespace corvella {
namespace {

using test::Check;
using test::FakeTree;
namespace fs = std::filesystem;

// A cache built from `tree` (the sample tree, or one set by hand), then defragmented.
struct Defrag : test::FakeBuild {
    StateFile State() const { return StateFile(dir.U16("stateinfo.ini")); }
    // The defragmenter's result and its own account of the faults it met.
    int Defragment(uint32_t* faults = nullptr) {
        CCacheDefragmenter defragmenter(errors, CachePath());
        const int result = defragmenter.Defragment();
        if (faults) *faults = defragmenter.faults();
        return result;
    }
};

// The offset of the value field of `name`'s record in the block at `block`.
uint32_t ValueField(const std::vector<uint8_t>& f, uint32_t block, std::u16string_view name) {
    const CacheView view{f.data(), static_cast<uint32_t>(f.size())};
    BlockReader reader(view, block);
    EntryView e;
    while (reader.NextEntry(e))
        if (e.Name(view) == name) return e.value_offset();
    ADD_FAILURE() << "no entry " << test::Narrow(name);
    return 0;
}

// C:\ past 1 MiB, so CacheFileSize reads 1; D:\ thousands of levels deep: the copy must not
// recurse.
void AddSampleTree(FakeTree& tree) {
    tree.Add(u"C:\\", {u"zeta", true})
        .Add(u"C:\\", {u"b.txt", false, 10, 7})
        .Add(u"C:\\", {u"alpha", true, 0, 9});
    tree.Add(u"C:\\zeta\\", {u"inner", true}).Add(u"C:\\zeta\\", {u"z.txt", false, 2048, 11});
    tree.Add(u"C:\\zeta\\inner\\", {u"deep.txt", false, 1});
    tree.AddGenerated(u"C:\\alpha\\", 30000, 12);
    tree.Add(u"D:\\", {u"d.txt", false, 5000});
    std::u16string path = u"D:\\";
    for (int level = 0; level < 4000; ++level, path += u"d\\")
        tree.Add(path, {u"d", true}).Add(path, {u"f.txt", false, 1});
    tree.AddFolder(path);
}

TEST(Defragment, FreshBuildComesBackByteForByte) {
    Defrag d;
    AddSampleTree(d.tree);
    ASSERT_TRUE(d.Run({u"C:\\", u"D:\\"}));
    const auto built = d.File();
    ASSERT_TRUE(d.State().SetCacheFileSize(0));

    ASSERT_EQ(d.Defragment(), 0);
    EXPECT_TRUE(d.errors.messages.empty());
    EXPECT_EQ(d.File(), built);
    EXPECT_EQ(d.State().CacheFileSizeMiB(), 1u);
    EXPECT_TRUE(d.State().UpdateCacheEnded());
    EXPECT_FALSE(fs::exists(d.dir.path() / "cache.db.frag"));
    EXPECT_FALSE(fs::exists(d.dir.path() / "cache.db.new"));
}

TEST(Defragment, FolderWithoutBlockGetsAnEmptyOneInItsPlace) {
    // A folder that was not entered has no block; the copy gives it an empty block at the place a
    // listable empty folder's block would have, so the result is that tree's fresh build. Those
    // six bytes make the copy outgrow its first working file (1 MiB): its last record ends where
    // that file does, and only the end tag after it needs the file grown.
    Defrag d;
    const auto build = [&](bool skip, uint32_t pad, uint32_t files) {
        FakeTree tree;
        tree.Add(u"C:\\", {u"a", true}).Add(u"C:\\", {u"x.txt", false, 3000});
        tree.Add(u"C:\\a\\", {u"junction", true, 0, 4, skip});
        tree.Add(u"C:\\a\\", {u"after", true});
        tree.Add(u"C:\\a\\after\\", {u"y" + std::u16string(pad, u'y') + u".txt"});
        tree.AddGenerated(u"C:\\a\\after\\", files, 12);
        if (!skip) tree.AddFolder(u"C:\\a\\junction\\");
        EXPECT_TRUE(test::BuildFake(tree, {u"C:\\"}, d.CachePath()));
        return d.File();
    };
    constexpr uint32_t kMiB = 1048576;
    const uint32_t rest = kMiB + 2 - uint32_t(build(false, 0, 0).size());
    const uint32_t files = rest / RecordBytes(12) - 1;
    const uint32_t pad = (rest - files * RecordBytes(12)) / 2;
    const auto expected = build(false, pad, files);
    ASSERT_EQ(expected.size(), kMiB + 2);
    const auto skipped = build(true, pad, files);
    EXPECT_EQ(skipped.size() + 6, expected.size());

    ASSERT_EQ(d.Defragment(), 0);
    EXPECT_EQ(d.File(), expected);
}

// The cache file held by another opener, or a new file that cannot be created: the old file stays
// byte for byte, with its recorded size, and the update is marked ended.
TEST(Defragment, ACacheThatCannotBeReplacedIsLeftAsItWas) {
    const struct {
        bool held;
        int result;
        const char16_t* message;
    } rows[] = {
        {true, -1,
         u"Can not open dat file! File may be used by another program or does not exists! "
         u"In CQueryer::InitTraverse - 000"},
        {false, 0,
         u"Can not create or open dat file! File may be used by another program! "
         u"In CCacher::ReleaseFile - 000"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.held);
        Defrag d;
        d.tree.Add(u"C:\\", {u"c.txt"});
        ASSERT_TRUE(d.Run({u"C:\\"}));
        std::vector<uint8_t> loose = d.File();
        loose.resize(loose.size() + 4096);  // something to compact
        Store32(&loose[kFileSizeOffset], static_cast<uint32_t>(loose.size()));
        test::WriteBytes(d.Cache(), loose);
        ASSERT_TRUE(d.State().SetCacheFileSize(7));
        platform::ExclusiveFile holder;
        if (row.held)
            ASSERT_TRUE(holder.OpenExisting(d.CachePath()));
        else
            fs::create_directory(d.dir.path() / "cache.db.new");
        EXPECT_EQ(d.Defragment(), row.result);
        holder.Close();
        EXPECT_EQ(d.errors.messages, std::vector<std::u16string>{row.message});
        EXPECT_EQ(d.File(), loose);
        EXPECT_EQ(d.State().CacheFileSizeMiB(), 7u);
        EXPECT_TRUE(d.State().UpdateCacheEnded());
        EXPECT_FALSE(fs::exists(d.dir.path() / "cache.db.frag"));
    }
}

TEST(Defragment, CyclesAndStrayOffsetsBecomeEmptyFolders) {
    Defrag d;
    FakeTree& tree = d.tree;
    tree.Add(u"C:\\", {u"loop", true}).Add(u"C:\\", {u"stray", true});
    tree.Add(u"C:\\", {u"header", true}).Add(u"C:\\", {u"keep", true});
    tree.Add(u"C:\\loop\\", {u"x.txt"}).Add(u"C:\\keep\\", {u"k.txt"});
    tree.AddFolder(u"C:\\stray\\").AddFolder(u"C:\\header\\");
    ASSERT_TRUE(d.Run({u"C:\\"}));
    std::vector<uint8_t> f = d.File();
    const uint32_t loop = Load32(&f[ValueField(f, kFirstBlockOffset, u"loop")]);
    // C:\loop\x.txt becomes a folder that leads back to C:\.
    Store16(&f[loop + 4], kTagFolder);
    Store32(&f[ValueField(f, loop, u"x.txt")], kFirstBlockOffset);
    Store32(&f[ValueField(f, kFirstBlockOffset, u"stray")], 0x7FFFFFF0);
    Store32(&f[ValueField(f, kFirstBlockOffset, u"header")], kRootBlockOffset);
    test::WriteBytes(d.Cache(), f);

    uint32_t faults = 0;
    ASSERT_EQ(d.Defragment(&faults), 0);
    EXPECT_EQ(faults, 3u);
    const auto out = d.File();
    ASSERT_TRUE(Check(out).ok) << Check(out).fault;
    EXPECT_EQ(test::Paths(test::ReadAllEntries(out, u'\\')),
              (std::vector<std::u16string>{u"C:", u"C:\\loop", u"C:\\stray", u"C:\\header",
                                           u"C:\\keep", u"C:\\loop\\x.txt", u"C:\\keep\\k.txt"}));
}

}  // namespace
}  // namespace corvella
