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

// A kept file reopens with what was written; a delete-on-close one is gone after its close.
TEST(MappedFile, CreateGrowAndReopenKeepContentsAndZeroFill) {
    test::TempDir dir;
    for (const bool temporary : {false, true}) {
        const char* name = temporary ? "w.tmp" : "m.bin";
        test::WriteBytes(dir.path() / name, std::vector<uint8_t>(100000, 0x5A));  // emptied
        {
            MappedFile f;
            ASSERT_EQ(f.Create(dir.U16(name), 4096, temporary), MapStep::Done);
            EXPECT_EQ(f.size(), 4096u);
            std::memcpy(f.data(), "abc", 3);
            ASSERT_EQ(f.Remap(3 * 65536), MapStep::Done);
            EXPECT_TRUE(f.Flush());
            EXPECT_EQ(std::memcmp(f.data(), "abc", 3), 0);
            for (uint64_t i = 3; i < f.size(); i += 997) ASSERT_EQ(f.data()[i], 0) << i;
            f.data()[f.size() - 1] = 'z';
        }
        EXPECT_FALSE(fs::exists(dir.path() / "w.tmp"));
    }
    EXPECT_EQ(fs::file_size(dir.path() / "m.bin"), 3u * 65536);
    MappedFile again;
    ASSERT_EQ(again.OpenExisting(dir.U16("m.bin"), MappedFile::Access::ReadOnly), MapStep::Done);
    EXPECT_EQ(again.data()[again.size() - 1], 'z');
}

// An in-place view that lost a write made before it grew, in its last, partial page, or after
// it grew, would leave the cache its changes were applied to torn.
TEST(MappedFile, InPlaceWritesReachTheFileAcrossGrowth) {
    test::TempDir dir;
    const std::u16string path = dir.U16("c.bin");
    const uint64_t size = 3 * 4096 + 100;
    {
        MappedFile f;
        ASSERT_EQ(f.Create(path, size, false), MapStep::Done);
        for (uint64_t i = 0; i < size; ++i) f.data()[i] = uint8_t('0' + i % 10);
    }
    const uint64_t grown = size + 65536;
    {
        MappedFile f;
        ASSERT_EQ(f.OpenExisting(path, MappedFile::Access::ReadWrite), MapStep::Done);
        f.data()[0] = 'a';
        f.data()[2 * 4096 + 5] = 'b';
        f.data()[size - 1] = 'c';
        ASSERT_EQ(f.Remap(grown), MapStep::Done);
        EXPECT_EQ(f.data()[size - 1], 'c');
        f.data()[grown - 1] = 'd';
    }
    MappedFile f;
    ASSERT_EQ(f.OpenExisting(path, MappedFile::Access::ReadOnly), MapStep::Done);
    ASSERT_EQ(f.size(), grown);
    for (uint64_t i = 0; i < grown; ++i) {
        const uint8_t want = i == 0              ? 'a'
                             : i == 2 * 4096 + 5 ? 'b'
                             : i == size - 1     ? 'c'
                             : i == grown - 1    ? 'd'
                             : i < size          ? uint8_t('0' + i % 10)
                                                 : 0;
        ASSERT_EQ(f.data()[i], want) << i;
    }
}

TEST(MappedFile, AWriterShutsOutEveryOtherOpener) {
    test::TempDir dir;
    const std::u16string path = dir.U16("held.bin");
    MappedFile first;
    ASSERT_EQ(first.Create(path, 1024, false), MapStep::Done);
    MappedFile second;
    EXPECT_EQ(second.OpenExisting(path, MappedFile::Access::ReadOnly), MapStep::File);
    EXPECT_EQ(second.Create(path, 1024, false), MapStep::File);
    platform::ExclusiveFile third;
    EXPECT_FALSE(third.OpenExisting(path));
    // A refused create must not have emptied the file under its holder.
    EXPECT_EQ(fs::file_size(dir.path() / "held.bin"), 1024u);
    first.Close();
    first.Close();  // closing twice is harmless
    EXPECT_EQ(second.OpenExisting(path, MappedFile::Access::ReadOnly), MapStep::Done);
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

// Searches run side by side; an update, a replacement or a defragmentation waits for them.
TEST(MappedFile, ReadersShareAndEveryWriterWaitsForThem) {
    test::TempDir dir;
    const std::u16string path = dir.U16("cache.db");
    test::WriteBytes(dir.path() / "cache.db", std::vector<uint8_t>(4096, 7));
    MappedFile reader;
    ASSERT_EQ(reader.OpenExisting(path, MappedFile::Access::ReadOnly), MapStep::Done);
    for (const auto& [access, opens] : {std::pair{MappedFile::Access::ReadOnly, true},
                                        std::pair{MappedFile::Access::ReadExclusive, false},
                                        std::pair{MappedFile::Access::ReadWrite, false}}) {
        MappedFile second;
        EXPECT_EQ(second.OpenExisting(path, access) == MapStep::Done, opens) << int(access);
    }
    platform::ExclusiveFile replacing;
    EXPECT_FALSE(replacing.OpenExisting(path));
    reader.Close();
    EXPECT_TRUE(replacing.OpenExisting(path));
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
