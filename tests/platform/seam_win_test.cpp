// What only the Win32 side of the seam has: share modes that shut other programs out,
// delete-on-close working files, replacement while another opener holds the target, \\?\ paths
// past MAX_PATH, drive and UNC path forms, UTF-16 names with surrogate pairs, the drive list;
// each through the seam and, where the build depends on it, through a real build.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>

#include "cache/cache_check.h"
#include "cache/cache_shared.h"
#include "cache/cacher.h"
#include "platform/dir_list.h"
#include "platform/drives.h"
#include "platform/file.h"
#include "platform/long_path_win.h"
#include "platform/paths.h"
#include "platform/text_win.h"
#include "support/test_tree.h"

namespace corvella {
namespace {

namespace fs = std::filesystem;
using platform::ExclusiveFile;
using platform::LongPath;
using platform::MappedFile;
using platform::MapStep;
using platform::ToWide;

// A handle as another program would hold it.
class OtherOpener {
  public:
    // Opens with every kind of sharing allowed, as a well-behaved reader does.
    explicit OtherOpener(const std::u16string& path)
        : handle_(CreateFileW(LongPath(path).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)),
          error_(handle_ == INVALID_HANDLE_VALUE ? GetLastError() : 0) {}
    ~OtherOpener() { Close(); }
    OtherOpener(const OtherOpener&) = delete;
    OtherOpener& operator=(const OtherOpener&) = delete;

    bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
    DWORD error() const { return error_; }
    void Close() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }

  private:
    HANDLE handle_;
    DWORD error_;
};

// Folders and files made through \\?\ paths, which std::filesystem cannot remove past MAX_PATH;
// removed in the reverse order of their making.
class LongPathTree {
  public:
    LongPathTree() = default;
    ~LongPathTree() {
        for (auto it = made_.rbegin(); it != made_.rend(); ++it) {
            const std::wstring path = LongPath(it->first);
            if (it->second)
                RemoveDirectoryW(path.c_str());
            else
                DeleteFileW(path.c_str());
        }
    }
    LongPathTree(const LongPathTree&) = delete;
    LongPathTree& operator=(const LongPathTree&) = delete;

    bool Folder(const std::u16string& path) {
        if (!CreateDirectoryW(LongPath(path).c_str(), nullptr)) return false;
        made_.emplace_back(path, true);
        return true;
    }
    // A file of `bytes` bytes, made through the seam.
    bool File(const std::u16string& path, uint64_t bytes) {
        MappedFile f;
        if (f.Create(path, bytes, false) != MapStep::Done) return false;
        made_.emplace_back(path, false);
        return true;
    }
    // Something the code under test made, to be removed with the rest.
    void Adopt(const std::u16string& path, bool folder) { made_.emplace_back(path, folder); }

  private:
    std::vector<std::pair<std::u16string, bool>> made_;  // path, is a folder
};

struct Listed {
    bool folder;
    uint64_t size;
    uint64_t time;
};

std::map<std::u16string, Listed> List(const std::u16string& folder) {
    std::map<std::u16string, Listed> seen;
    platform::DirLister lister;
    if (!lister.Open(folder)) return seen;
    platform::DirEntry e;
    while (lister.Next(e)) seen[std::u16string(e.name)] = {e.folder, e.size_bytes, e.last_write};
    return seen;
}

uint64_t SizeOnDisk(const std::u16string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(LongPath(path).c_str(), GetFileExInfoStandard, &data)) return ~0ull;
    return (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

TEST(Win32ExclusiveOpen, AHeldFileShutsOutEveryOtherOpener) {
    test::TempDir dir;
    const std::u16string path = dir.U16("cache.db");
    MappedFile held;
    ASSERT_EQ(held.Create(path, 4096, false), MapStep::Done);

    // Another program is refused even when it offers to share everything.
    OtherOpener other(path);
    EXPECT_FALSE(other.IsOpen());
    EXPECT_EQ(other.error(), DWORD(ERROR_SHARING_VIOLATION));

    MappedFile second;
    EXPECT_EQ(second.OpenExisting(path, MappedFile::Access::ReadOnly), MapStep::File);
    EXPECT_EQ(second.last_error(), ERROR_SHARING_VIOLATION);
    EXPECT_EQ(second.OpenExisting(path, MappedFile::Access::ReadWrite), MapStep::File);
    ExclusiveFile third;
    EXPECT_FALSE(third.OpenExisting(path));
    EXPECT_FALSE(third.IsOpen());

    held.Close();
    EXPECT_TRUE(third.OpenExisting(path));
    EXPECT_EQ(second.OpenExisting(path, MappedFile::Access::ReadOnly), MapStep::File);
    third.Close();
    EXPECT_EQ(second.OpenExisting(path, MappedFile::Access::ReadOnly), MapStep::Done);
}

TEST(Win32ExclusiveOpen, AFileAnotherProgramHasOpenIsRefusedAndLeftAlone) {
    test::TempDir dir;
    const std::u16string path = dir.U16("cache.db");
    test::WriteBytes(dir.path() / "cache.db", std::vector<uint8_t>(5000, 0x5A));
    OtherOpener other(path);
    ASSERT_TRUE(other.IsOpen());

    MappedFile f;
    EXPECT_EQ(f.OpenExisting(path, MappedFile::Access::ReadOnly), MapStep::File);
    ExclusiveFile e;
    EXPECT_FALSE(e.OpenExisting(path));
    // Creating anew must not have truncated the file before refusing.
    EXPECT_EQ(f.Create(path, 4096, false), MapStep::File);
    other.Close();
    EXPECT_EQ(test::ReadBytes(dir.path() / "cache.db"), std::vector<uint8_t>(5000, 0x5A));
}

TEST(Win32WorkingFile, DeleteOnCloseFileIsHeldWhileOpenAndGoneAfterClose) {
    test::TempDir dir;
    const std::u16string path = dir.U16("cache.db.tmp");
    MappedFile work;
    ASSERT_EQ(work.Create(path, 65536, true), MapStep::Done);
    work.data()[65535] = 7;
    ASSERT_EQ(work.Remap(3 * 65536), MapStep::Done);
    EXPECT_EQ(work.data()[65535], 7);
    EXPECT_TRUE(platform::FileExists(path));
    EXPECT_EQ(SizeOnDisk(path), 3u * 65536);
    EXPECT_FALSE(OtherOpener(path).IsOpen());

    work.Close();
    EXPECT_FALSE(platform::FileExists(path));
    EXPECT_EQ(GetFileAttributesW(ToWide(path).c_str()), INVALID_FILE_ATTRIBUTES);
    // The name is free again at once: the next build can make its working file there.
    ASSERT_EQ(work.Create(path, 4096, true), MapStep::Done);
    work.Close();
    EXPECT_FALSE(platform::FileExists(path));
}

TEST(Win32Mapping, CreateEmptiesAnOldFileAndRemapGrowsItKeepingTheBytes) {
    test::TempDir dir;
    const std::u16string path = dir.U16("m.bin");
    test::WriteBytes(dir.path() / "m.bin", std::vector<uint8_t>(100000, 0x5A));
    MappedFile f;
    ASSERT_EQ(f.Create(path, 4096, false), MapStep::Done);
    ASSERT_EQ(f.size(), 4096u);
    EXPECT_EQ(std::count(f.data(), f.data() + 4096, 0), 4096) << "old bytes left after Create";
    std::memcpy(f.data(), "head", 4);
    f.data()[4095] = 't';

    const uint64_t grown = 5 * 65536 + 17;  // not a multiple of the allocation granularity
    ASSERT_EQ(f.Remap(grown), MapStep::Done);
    ASSERT_EQ(f.size(), grown);
    EXPECT_EQ(std::memcmp(f.data(), "head", 4), 0);
    EXPECT_EQ(f.data()[4095], 't');
    EXPECT_EQ(std::count(f.data() + 4096, f.data() + grown, 0), int64_t(grown - 4096));
    f.data()[grown - 1] = 'e';
    EXPECT_TRUE(f.Flush());
    f.Close();
    EXPECT_EQ(SizeOnDisk(path), grown);

    ASSERT_EQ(f.OpenExisting(path, MappedFile::Access::ReadWrite), MapStep::Done);
    ASSERT_EQ(f.size(), grown);
    EXPECT_EQ(f.data()[grown - 1], 'e');
    f.data()[1] = 'E';
    f.Close();
    EXPECT_EQ(test::ReadBytes(dir.path() / "m.bin")[1], 'E');
    EXPECT_FALSE(f.Flush()) << "a closed file has nothing to flush";
}

TEST(Win32MoveIntoPlace, ReplacesTheOldFileUnlessAnotherOpenerHoldsIt) {
    test::TempDir dir;
    const std::u16string target = dir.U16("cache.db"), fresh = dir.U16("cache.db.new");
    test::WriteBytes(dir.path() / "cache.db", {1, 2, 3});
    test::WriteBytes(dir.path() / "cache.db.new", {4, 5, 6, 7});

    {
        // A reader in another instance has the old cache mapped.
        MappedFile reader;
        ASSERT_EQ(reader.OpenExisting(target, MappedFile::Access::ReadOnly), MapStep::Done);
        ExclusiveFile not_ours;
        EXPECT_FALSE(not_ours.OpenExisting(target));
        EXPECT_FALSE(platform::MoveIntoPlace(fresh, target, not_ours));
        EXPECT_EQ(reader.data()[0], 1);
    }
    EXPECT_EQ(test::ReadBytes(dir.path() / "cache.db"), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(test::ReadBytes(dir.path() / "cache.db.new"), (std::vector<uint8_t>{4, 5, 6, 7}));

    // Our own hold is let go first, since Windows cannot replace a file that is open.
    ExclusiveFile held;
    ASSERT_TRUE(held.OpenExisting(target));
    ASSERT_TRUE(platform::MoveIntoPlace(fresh, target, held));
    EXPECT_FALSE(held.IsOpen());
    EXPECT_EQ(test::ReadBytes(dir.path() / "cache.db"), (std::vector<uint8_t>{4, 5, 6, 7}));
    EXPECT_FALSE(platform::FileExists(fresh));
}

TEST(Win32LongPaths, AFolderPastMaxPathIsListedAndBuilt) {
    test::TempDir dir;
    LongPathTree made;
    std::u16string deep = dir.U16();
    std::vector<std::u16string> levels;
    for (int i = 0; deep.size() <= MAX_PATH + 40; ++i) {
        deep += u'\\';
        deep += std::u16string(60, char16_t(u'a' + i));
        levels.push_back(deep);
        ASSERT_TRUE(made.Folder(deep)) << "level " << i << ": " << GetLastError();
    }
    ASSERT_GT(deep.size(), size_t(MAX_PATH));
    ASSERT_TRUE(made.File(deep + u"\\inner.bin", 3000));
    ASSERT_TRUE(made.Folder(deep + u"\\sub"));
    ASSERT_TRUE(made.File(deep + u"\\sub\\leaf.txt", 10));
    EXPECT_TRUE(platform::IsFolder(deep));
    EXPECT_TRUE(platform::FileExists(deep + u"\\inner.bin"));

    // The plain form and the \\?\ form name the same folder.
    for (const std::u16string& folder : {deep + u"\\", u"\\\\?\\" + deep + u"\\"}) {
        const auto seen = List(folder);
        ASSERT_EQ(seen.size(), 4u) << test::Narrow(folder);
        EXPECT_TRUE(seen.at(u".").folder);
        EXPECT_TRUE(seen.at(u"..").folder);
        EXPECT_TRUE(seen.at(u"sub").folder);
        EXPECT_FALSE(seen.at(u"inner.bin").folder);
        EXPECT_EQ(seen.at(u"inner.bin").size, 3000u);
    }

    // A build walks down through every level and records what lies past the limit.
    test::TempDir cache_dir;
    const auto entries = test::BuildReal(cache_dir, levels.front() + u'\\');
    ASSERT_TRUE(entries.count(deep + u"\\sub\\leaf.txt")) << entries.size() << " entries";
    EXPECT_EQ(entries.at(deep + u"\\sub\\leaf.txt").value, 1u);  // 10 bytes: one KiB
    EXPECT_EQ(entries.at(deep + u"\\inner.bin").value, 3u);
    EXPECT_TRUE(entries.at(deep).folder);
}

TEST(Win32Drives, TheSystemDriveIsAFixedDriveRoot) {
    const std::vector<std::u16string> roots = platform::FixedDriveRoots();
    EXPECT_NE(std::find(roots.begin(), roots.end(), u"C:\\"), roots.end());
    wchar_t windows[MAX_PATH] = {};
    ASSERT_GT(GetSystemWindowsDirectoryW(windows, MAX_PATH), 2u);
    const std::u16string system_root{char16_t(windows[0]), u':', u'\\'};
    EXPECT_NE(std::find(roots.begin(), roots.end(), system_root), roots.end());
    for (const std::u16string& root : roots) {
        ASSERT_EQ(root.size(), 3u);
        EXPECT_TRUE(root[0] >= u'C' && root[0] <= u'Z' && root.substr(1) == u":\\");
    }
}

TEST(Win32Names, NonAsciiAndSurrogatePairNamesRoundTrip) {
    test::TempDir dir;
    const std::u16string base = dir.U16() + u'\\';
    const std::vector<std::u16string> files = {
        u"\u00c4rger \u00f1.txt",                             // Latin-1
        u"\u65e5\u672c\u8a9e\u306e\u30d5\u30a1\u30a4\u30eb",  // CJK, no extension
        u"\U0001F600 grin.txt",                               // a pair at the start
        u"x\U00020000\U0001D11E",                             // pairs from two planes at the end
    };
    const std::u16string folder = u"\u03a9mega \U0001F4C1";
    LongPathTree made;
    for (size_t i = 0; i < files.size(); ++i)
        ASSERT_TRUE(made.File(base + files[i], 100 * (i + 1))) << i;
    ASSERT_TRUE(made.Folder(base + folder));
    ASSERT_TRUE(made.File(base + folder + u"\\\U0001F4C4", 1));

    auto seen = List(base);
    seen.erase(u".");
    seen.erase(u"..");
    std::set<std::u16string> names;
    for (const auto& [name, entry] : seen) names.insert(name);
    std::set<std::u16string> expected(files.begin(), files.end());
    expected.insert(folder);
    EXPECT_EQ(names, expected);
    for (size_t i = 0; i < files.size(); ++i) {
        ASSERT_TRUE(seen.count(files[i])) << i;
        EXPECT_EQ(seen.at(files[i]).size, 100 * (i + 1)) << i;
        EXPECT_FALSE(seen.at(files[i]).folder);
    }
    EXPECT_TRUE(seen.at(folder).folder);
    // Each listed name opens the same file again.
    for (const std::u16string& name : files) {
        MappedFile f;
        EXPECT_EQ(f.OpenExisting(base + name, MappedFile::Access::ReadOnly), MapStep::Done);
    }

    // And the cache stores them unchanged: its paths are the names as listed.
    test::TempDir cache_dir;
    const auto entries = test::BuildReal(cache_dir, base);
    for (const std::u16string& name : files)
        EXPECT_TRUE(entries.count(dir.U16() + u'\\' + name)) << test::Narrow(name);
    EXPECT_TRUE(entries.count(dir.U16() + u'\\' + folder + u"\\\U0001F4C4"));
}

TEST(Win32Paths, CreateParentFoldersMakesEveryMissingLevelOfEveryForm) {
    test::TempDir dir;
    const std::u16string base = dir.U16();
    EXPECT_TRUE(platform::CreateParentFolders(base + u"\\a\\b\\c\\cache.db"));
    EXPECT_TRUE(platform::IsFolder(base + u"\\a\\b\\c"));
    EXPECT_FALSE(platform::FileExists(base + u"\\a\\b\\c\\cache.db")) << "only the folders";
    EXPECT_TRUE(platform::CreateParentFolders(base + u"\\a\\b\\c\\cache.db")) << "again";
    EXPECT_TRUE(platform::CreateParentFolders(base + u"/f/g/cache.db"));
    EXPECT_TRUE(platform::IsFolder(base + u"\\f\\g"));
    EXPECT_TRUE(platform::CreateParentFolders(u"\\\\?\\" + base + u"\\p\\q\\cache.db"));
    EXPECT_TRUE(platform::IsFolder(base + u"\\p\\q"));

    LongPathTree made;
    std::u16string deep = base;
    for (int i = 0; deep.size() <= MAX_PATH + 40; ++i) {
        deep += u'\\';
        deep += std::u16string(60, char16_t(u'k' + i));
        made.Adopt(deep, true);
    }
    EXPECT_TRUE(platform::CreateParentFolders(deep + u"\\cache.db"));
    EXPECT_TRUE(platform::IsFolder(deep));

    test::WriteBytes(dir.path() / "plain.txt", {1});
    EXPECT_FALSE(platform::CreateParentFolders(base + u"\\plain.txt\\x\\cache.db"));
}

TEST(Win32Paths, FolderRootIsAbsoluteWithOneTrailingSeparator) {
    test::TempDir dir;
    const std::u16string base = dir.U16();
    EXPECT_EQ(platform::FolderRoot(u"C:\\"), u"C:\\");
    EXPECT_EQ(platform::FolderRoot(u"C:/"), u"C:\\");
    EXPECT_EQ(platform::FolderRoot(base), base + u'\\');
    EXPECT_EQ(platform::FolderRoot(base + u'\\'), base + u'\\');
    fs::create_directory(dir.path() / "sub");
    EXPECT_EQ(platform::FolderRoot(base + u"\\sub\\..\\sub\\."), base + u"\\sub\\");
    test::WriteBytes(dir.path() / "plain.txt", {1});
    EXPECT_FALSE(platform::FolderRoot(base + u"\\plain.txt"));
    EXPECT_FALSE(platform::FolderRoot(base + u"\\missing"));
}

TEST(Win32LongPath, EveryFormBecomesAnAbsolutePrefixedPath) {
    // Already in the \\?\ or \\.\ form: passed on untouched, since the system would not clean
    // it up either.
    EXPECT_EQ(LongPath(u"\\\\?\\C:\\a\\..\\b"), L"\\\\?\\C:\\a\\..\\b");
    EXPECT_EQ(LongPath(u"\\\\?\\UNC\\server\\share\\x"), L"\\\\?\\UNC\\server\\share\\x");
    EXPECT_EQ(LongPath(u"\\\\.\\pipe\\corvella"), L"\\\\.\\pipe\\corvella");

    // Drive paths are resolved first, since \\?\ turns off the handling of "/", "." and "..".
    EXPECT_EQ(LongPath(u"C:\\a\\.\\b\\..\\c/d"), L"\\\\?\\C:\\a\\c\\d");
    EXPECT_EQ(LongPath(u"C:\\"), L"\\\\?\\C:\\");
    EXPECT_EQ(LongPath(u"C:\\data\\"), L"\\\\?\\C:\\data\\");  // kept for "*" to be appended

    // UNC paths take the UNC\ form, without the leading pair of separators.
    EXPECT_EQ(LongPath(u"\\\\server\\share\\dir\\..\\f.txt"), L"\\\\?\\UNC\\server\\share\\f.txt");

    // Relative paths resolve against the current folder.
    wchar_t current[32768] = {};
    const DWORD n = GetCurrentDirectoryW(32768, current);
    ASSERT_GT(n, 0u);
    std::wstring expected = L"\\\\?\\" + std::wstring(current, n);
    if (expected.back() != L'\\') expected += L'\\';
    EXPECT_EQ(LongPath(u"sub\\f.txt"), expected + L"sub\\f.txt");

    // Input longer than MAX_PATH is resolved in full, not cut at the first buffer's size.
    const std::u16string a(200, u'a'), b(200, u'b');
    EXPECT_EQ(LongPath(u"C:\\" + a + u"\\x\\..\\" + b),
              L"\\\\?\\C:\\" + ToWide(a) + L"\\" + ToWide(b));
}

}  // namespace
}  // namespace corvella
