#include "watch/folder_update.h"

#include <gtest/gtest.h>

#include <tuple>

#include "cache/cache_check.h"
#include "support/test_tree.h"

namespace corvella {
namespace {

using test::Check;
using test::CollectErrors;
using test::FakeTree;
using test::ReadBytes;
using test::TempDir;

FakeTree::Entry File(std::u16string name, uint64_t size = 100) {
    return {std::move(name), false, size, 132000000000000000ull};
}
FakeTree::Entry Folder(std::u16string name) {
    return {std::move(name), true, 0, 132000000000000001ull};
}

// Every entry as a line; folders show whether they have a block, not where it is.
std::vector<std::string> Listing(const std::vector<uint8_t>& file) {
    std::vector<std::string> lines;
    for (const test::ReadEntry& e : test::ReadAllEntries(file, u'\\')) {
        lines.push_back(test::Narrow(e.path) + (e.folder ? (e.value == NoBlock ? " -" : " D")
                                                         : " " + std::to_string(e.value)));
    }
    return lines;
}

class FolderUpdateTest : public ::testing::Test {
  protected:
    FolderUpdateTest() {
        tree.AddFolder(u"C:\\").Add(u"C:\\", Folder(u"docs")).Add(u"C:\\", Folder(u"src"));
        tree.Add(u"C:\\", File(u"boot.ini")).AddFolder(u"C:\\docs\\").AddFolder(u"C:\\src\\");
        tree.Add(u"C:\\docs\\", File(u"readme.txt"))
            .Add(u"C:\\docs\\", File(u"notes-for-the-release.txt", 5000));
        tree.Add(u"C:\\src\\", Folder(u"lib")).Add(u"C:\\src\\", File(u"makefile"));
        tree.AddGenerated(u"C:\\src\\lib\\", 40, 12, u"module");
        EXPECT_TRUE(test::BuildFake(tree, {u"C:\\"}, cache));
        updater.SetListingSource(&tree);
        updater.SetSkipFolder(u"");
    }

    ApplyResult Apply(const std::u16string& folder) {
        return updater.ApplyFolderChange(cache, folder);
    }
    std::vector<uint8_t> Bytes() const { return ReadBytes(dir.path() / "cache.db"); }
    // What a build of the tree as it is now writes.
    std::vector<uint8_t> FreshBuild() {
        const std::u16string fresh = dir.U16("fresh.db");
        EXPECT_TRUE(test::BuildFake(tree, {u"C:\\"}, fresh));
        return ReadBytes(dir.path() / "fresh.db");
    }
    void ExpectCurrent() {
        const std::vector<uint8_t> file = Bytes();
        const CacheCheckReport report = Check(file);
        EXPECT_TRUE(report.ok) << report.fault;
        EXPECT_EQ(Listing(file), Listing(FreshBuild()));
        EXPECT_TRUE(errors.messages.empty());
    }

    TempDir dir;
    std::u16string cache = dir.U16("cache.db");
    FakeTree tree;
    CollectErrors errors;
    CFolderUpdater updater{errors};
};

TEST_F(FolderUpdateTest, GrownBlockMovesToTheEndOfTheFile) {
    const std::vector<uint8_t> before = Bytes();
    const uint32_t docs_block = test::ReadAllEntries(before, u'\\')[1].value;
    tree.Add(u"C:\\docs\\", File(u"todo.txt"));
    ASSERT_EQ(Apply(u"C:\\docs\\"), ApplyResult::Applied);
    ExpectCurrent();
    const std::vector<uint8_t> after = Bytes();
    // Built blocks are exactly full: the block went to the old end, and the file grew 3 MiB.
    EXPECT_EQ(after.size(), before.size() + 3145728);
    EXPECT_EQ(Load32(&after[kFileSizeOffset]), after.size());
    EXPECT_EQ(Load32(&after[kFreeListHeadOffset]), docs_block);
}

TEST_F(FolderUpdateTest, DeletionsAreRewrittenInPlaceAndGiveUpTheirTrees) {
    const size_t size = Bytes().size();
    tree.Remove(u"C:\\docs\\", u"readme.txt");
    ASSERT_EQ(Apply(u"C:\\docs\\"), ApplyResult::Applied);
    ExpectCurrent();
    EXPECT_EQ(Bytes().size(), size);
    EXPECT_EQ(Load32(&Bytes()[kFreeListHeadOffset]), NoBlock);
    // src and src\lib go on the free list; the drive's block shrank and stays where it is.
    tree.Remove(u"C:\\", u"src");
    ASSERT_EQ(Apply(u"C:\\"), ApplyResult::Applied);
    ExpectCurrent();
    EXPECT_EQ(Check(Bytes()).free_blocks, 2u);
}

TEST_F(FolderUpdateTest, RenamedFolderIsListedWithItsSubtreeAndNothingElse) {
    // A new name: the old subtree is given up, the new one listed from disk.
    tree.Remove(u"C:\\", u"src").Add(u"C:\\", Folder(u"source"));
    tree.AddFolder(u"C:\\source\\")
        .Add(u"C:\\source\\", Folder(u"lib"))
        .Add(u"C:\\source\\", File(u"makefile"));
    tree.AddGenerated(u"C:\\source\\lib\\", 40, 12, u"module");
    tree.opened.clear();
    ASSERT_EQ(Apply(u"C:\\"), ApplyResult::Applied);
    EXPECT_EQ(tree.opened,
              (std::vector<std::u16string>{u"C:\\", u"C:\\source\\", u"C:\\source\\lib\\"}))
        << "unchanged subfolders keep their blocks without being listed";
    ExpectCurrent();
}

TEST_F(FolderUpdateTest, PathsOutsideTheCacheOrNamingAFileChangeNothing) {
    const std::vector<uint8_t> before = Bytes();
    // "C:docs" shares its first letters with the drive "C:" but is not below it.
    for (const char16_t* folder : {u"C:\\nowhere\\", u"D:\\docs\\", u"C:docs\\", u"C:\\boot.ini\\",
                                   u"C:\\docs\\readme.txt\\"})
        EXPECT_EQ(Apply(folder), ApplyResult::Dropped) << test::Narrow(folder);
    EXPECT_EQ(updater.ApplyFolderChange(dir.U16("missing.db"), u"C:\\docs\\"),
              ApplyResult::Dropped);
    EXPECT_EQ(Bytes(), before);
}

TEST_F(FolderUpdateTest, BestFitTakesTheFirstSmallestFreeBlockThatHolds) {
    // Free blocks of 200, 120 and 120 bytes at the end of the file, and a folder that grows to 114
    // bytes: the first 120-byte block is used, and keeps its capacity.
    std::vector<uint8_t> file = Bytes();
    const uint32_t end = static_cast<uint32_t>(file.size());
    file.resize(end + 440);
    const std::tuple<uint32_t, uint32_t, uint32_t> blocks[] = {
        {end, 200, end + 200}, {end + 200, 120, end + 320}, {end + 320, 120, NoBlock}};
    for (const auto& [at, capacity, next] : blocks) {
        Store32(file.data() + at, capacity);
        Store32(file.data() + at + 4, next);
    }
    Store32(file.data() + kFreeListHeadOffset, end);
    Store32(file.data() + kDataEndOffset, end + 440);
    Store32(file.data() + kFileSizeOffset, end + 440);
    test::WriteBytes(dir.path() / "cache.db", file);

    tree.Remove(u"C:\\docs\\", u"readme.txt").Remove(u"C:\\docs\\", u"notes-for-the-release.txt");
    for (const char16_t* name : {u"aaaaaaaaaa", u"bbbbbbbbbb", u"cccccccccc"})
        tree.Add(u"C:\\docs\\", File(name));
    ASSERT_EQ(Apply(u"C:\\docs\\"), ApplyResult::Applied);
    ExpectCurrent();
    const std::vector<uint8_t> after = Bytes();
    EXPECT_EQ(after.size(), end + 440u);
    EXPECT_EQ(Load32(after.data() + end + 200), 120u);
    EXPECT_EQ(test::ReadAllEntries(after, u'\\')[1].value, end + 200);  // C:\docs
}

TEST_F(FolderUpdateTest, MemoryFailurePartWayStoresNothing) {
    // The folder keeps one subfolder and gains two new ones; memory runs out while the second new
    // one is listed, after the first was stored.
    tree.Add(u"C:\\src\\", Folder(u"n1")).Add(u"C:\\src\\", Folder(u"n2"));
    tree.AddGenerated(u"C:\\src\\n1\\", 30, 20, u"one");
    tree.AddGenerated(u"C:\\src\\n2\\", 60, 20, u"two");
    const std::vector<uint8_t> before = Bytes();
    CFolderUpdater small(errors, UpdateSizes{700, 3145728, 131072});
    small.SetListingSource(&tree);
    small.SetSkipFolder(u"");
    int allocations = 0;
    // 1: the folder's buffer; 2 to 5: n1's, growing; 6: n2 needs more than n1 did.
    small.SetAllocationGate([&](size_t) { return ++allocations < 6; });
    EXPECT_EQ(small.ApplyFolderChange(cache, u"C:\\src\\"), ApplyResult::RetryLater);
    EXPECT_EQ(errors.messages, std::vector<std::u16string>{u"Out of memory!"});
    const std::vector<uint8_t> after = Bytes();
    EXPECT_EQ(Listing(after), Listing(before)) << "the old block is exactly as it was";
    EXPECT_TRUE(Check(after).ok) << Check(after).fault;

    errors.messages.clear();
    small.SetAllocationGate({});
    EXPECT_EQ(small.ApplyFolderChange(cache, u"C:\\src\\"), ApplyResult::Applied);
    ExpectCurrent();
}

TEST_F(FolderUpdateTest, DeepNewTreeIsStoredAndGivenUpWithoutRecursion) {
    std::u16string path = u"C:\\docs\\";
    tree.Add(path, Folder(u"d"));
    for (int level = 0; level < 2500; ++level) {
        path += u"d\\";
        tree.AddFolder(path).Add(path, Folder(u"d")).Add(path, File(u"file-at-this-level"));
    }
    tree.AddFolder(path + u"d\\");
    ASSERT_EQ(Apply(u"C:\\docs\\"), ApplyResult::Applied);
    ExpectCurrent();
    tree.Remove(u"C:\\docs\\", u"d");
    ASSERT_EQ(Apply(u"C:\\docs\\"), ApplyResult::Applied);
    ExpectCurrent();
    EXPECT_GE(Check(Bytes()).free_blocks, 2500u);
}

TEST_F(FolderUpdateTest, DamagedSubtreeIsReportedAndTheUpdateGoesOn) {
    // The vanished folder's block offset points past the file: freeing it stops with a message.
    std::vector<uint8_t> file = Bytes();
    const uint32_t src_block = test::ReadAllEntries(file, u'\\')[2].value;
    // src's first entry, lib, now points far outside the file.
    Store32(file.data() + src_block + 4 + ValueFieldOffset(3), 0x7FFFFFF0);
    test::WriteBytes(dir.path() / "cache.db", file);

    tree.Remove(u"C:\\", u"src");
    EXPECT_EQ(Apply(u"C:\\"), ApplyResult::Applied);
    EXPECT_EQ(errors.messages, std::vector<std::u16string>{u"Error in FreeBlock"});
    EXPECT_TRUE(Check(Bytes()).ok);
}

}  // namespace
}  // namespace corvella
