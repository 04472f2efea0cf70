// Shared and exclusive opens, mappings and replacement, on either platform.
#include "platform/file.h"

#include <gtest/gtest.h>

#include <cstring>

#include "support/test_tree.h"

namespace corvella {
namespace {

using platform::MappedFile;
using platform::MapStep;
namespace fs = std::filesystem;

// A kept file reopens with what was written through a created view and an in-place one, before
// and after each grew, in its last, partial page too: a lost write would leave the cache it went
// to torn. A delete-on-close file is gone after its close.
TEST(MappedFile, WritesReachTheFileAcrossGrowthAndReopening) {
    test::TempDir dir;
    const std::u16string path = dir.U16("c.bin");
    test::WriteBytes(dir.path() / "c.bin", std::vector<uint8_t>(100000, 0x5A));  // emptied
    const uint64_t size = 3 * 4096 + 100, grown = size + 65536, last = grown + 65536;
    {
        MappedFile f;
        ASSERT_EQ(f.Create(path, size, false), MapStep::Done);
        EXPECT_EQ(f.size(), size);
        for (uint64_t i = 0; i < size; ++i) f.data()[i] = uint8_t('0' + i % 10);
        ASSERT_EQ(f.Remap(grown), MapStep::Done);
        EXPECT_TRUE(f.Flush());
        f.data()[grown - 1] = 'z';
    }
    {
        MappedFile f;
        ASSERT_EQ(f.OpenExisting(path, MappedFile::Access::ReadWrite), MapStep::Done);
        f.data()[0] = 'a';
        f.data()[2 * 4096 + 5] = 'b';
        f.data()[size - 1] = 'c';
        ASSERT_EQ(f.Remap(last), MapStep::Done);
        EXPECT_EQ(f.data()[size - 1], 'c');
        f.data()[last - 1] = 'd';
    }
    MappedFile f;
    ASSERT_EQ(f.OpenExisting(path, MappedFile::Access::ReadOnly), MapStep::Done);
    ASSERT_EQ(f.size(), last);
    for (uint64_t i = 0; i < last; ++i) {
        const uint8_t want = i == 0              ? 'a'
                             : i == 2 * 4096 + 5 ? 'b'
                             : i == size - 1     ? 'c'
                             : i == grown - 1    ? 'z'
                             : i == last - 1     ? 'd'
                             : i < size          ? uint8_t('0' + i % 10)
                                                 : 0;
        ASSERT_EQ(f.data()[i], want) << i;
    }
    {
        MappedFile temporary;
        ASSERT_EQ(temporary.Create(dir.U16("w.tmp"), 4096, true), MapStep::Done);
    }
    EXPECT_FALSE(fs::exists(dir.path() / "w.tmp"));
}

// Every failure says which step failed, which file it concerned and why.
TEST(MappedFile, FailuresNameTheStepTheFileAndTheReason) {
    test::TempDir dir;
    MappedFile f;
    const auto named = [&](const std::u16string& path) {
        EXPECT_EQ(f.problem().path, path);
        EXPECT_FALSE(f.problem().reason.empty());
    };
    EXPECT_EQ(f.OpenExisting(dir.U16("missing"), MappedFile::Access::ReadOnly), MapStep::File);
    named(dir.U16("missing"));
    EXPECT_EQ(f.Create(dir.U16("no/such/folder/x"), 1024, false), MapStep::File);
    named(dir.U16("no/such/folder/x"));
    test::WriteBytes(dir.path() / "empty", {});
    EXPECT_EQ(f.OpenExisting(dir.U16("empty"), MappedFile::Access::ReadOnly), MapStep::Mapping);
    named(dir.U16("empty"));
    fs::create_directory(dir.path() / "folder");
    EXPECT_EQ(f.OpenExisting(dir.U16("folder"), MappedFile::Access::ReadOnly), MapStep::File);
    named(dir.U16("folder"));
    EXPECT_FALSE(f.IsOpen());
}

// Searches run side by side; an update, a replacement or a defragmentation waits for them, and
// while one of those writes, no one else opens the file.
TEST(MappedFile, ReadersShareAndAWriterShutsOutEveryOtherOpener) {
    test::TempDir dir;
    const std::u16string path = dir.U16("cache.db");
    test::WriteBytes(dir.path() / "cache.db", std::vector<uint8_t>(4096, 7));
    using Access = MappedFile::Access;
    for (const bool writer : {false, true}) {
        SCOPED_TRACE(writer);
        MappedFile holder;
        ASSERT_EQ(
            writer ? holder.Create(path, 1024, false) : holder.OpenExisting(path, Access::ReadOnly),
            MapStep::Done);
        for (const Access access : {Access::ReadOnly, Access::ReadExclusive, Access::ReadWrite}) {
            MappedFile second;
            EXPECT_EQ(second.OpenExisting(path, access) == MapStep::Done,
                      !writer && access == Access::ReadOnly)
                << int(access);
        }
        MappedFile creator;
        EXPECT_EQ(creator.Create(path, 1024, false), MapStep::File);
        // A refused create must not have emptied the file under its holder.
        EXPECT_EQ(fs::file_size(dir.path() / "cache.db"), writer ? 1024u : 4096u);
        platform::ExclusiveFile replacing;
        EXPECT_FALSE(replacing.OpenExisting(path));
        holder.Close();
        holder.Close();  // closing twice is harmless
        EXPECT_TRUE(replacing.OpenExisting(path));
    }
}

// A length the disk cannot give is refused before anything is mapped: the file keeps its
// length, its bytes and its mapping, so the caller can give back what it took and go on.
TEST(MappedFile, GrowthTheDiskCannotHoldLeavesTheFileAsItWas) {
    test::TempDir dir;
    MappedFile f;
    ASSERT_EQ(f.Create(dir.U16("grow.bin"), 4096, false), MapStep::Done);
    std::memcpy(f.data(), "abc", 3);
    EXPECT_EQ(f.Remap(uint64_t(1) << 60), MapStep::Mapping);
    ASSERT_TRUE(f.IsOpen());
    EXPECT_EQ(f.size(), 4096u);
    EXPECT_FALSE(f.problem().reason.empty());
    f.data()[4095] = 'z';  // still mapped and writable
    EXPECT_EQ(std::memcmp(f.data(), "abc", 3), 0);
    f.Close();
    EXPECT_EQ(fs::file_size(dir.path() / "grow.bin"), 4096u);
}

TEST(MoveIntoPlace, PutsTheNewFileInPlaceAndTheOldOneIsNeverTorn) {
    test::TempDir dir;
    const std::u16string target = dir.U16("cache.db"), fresh = dir.U16("cache.db.new");
    test::WriteBytes(dir.path() / "cache.db", {1, 2, 3});
    test::WriteBytes(dir.path() / "cache.db.new", {4, 5, 6, 7});
    platform::ExclusiveFile held;
    ASSERT_TRUE(held.OpenExisting(target));
    ASSERT_TRUE(platform::MoveIntoPlace(fresh, target, held));
    EXPECT_FALSE(held.IsOpen());
    EXPECT_EQ(test::ReadBytes(dir.path() / "cache.db"), (std::vector<uint8_t>{4, 5, 6, 7}));
    EXPECT_FALSE(fs::exists(dir.path() / "cache.db.new"));

    platform::ExclusiveFile none;
    EXPECT_FALSE(platform::MoveIntoPlace(dir.U16("missing"), target, none));
    EXPECT_EQ(test::ReadBytes(dir.path() / "cache.db"), (std::vector<uint8_t>{4, 5, 6, 7}));
}

}  // namespace
}  // namespace corvella
