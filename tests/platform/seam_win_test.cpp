// What only the Win32 side of the seam has: share modes against other programs, \\?\ paths past
// MAX_PATH, drive and UNC path forms, names with surrogate pairs. What both sides share is tested
// in file_test.cpp.
#include <gtest/gtest.h>
#include <windows.h>

#include <map>

#include "platform/dir_list.h"
#include "platform/file.h"
#include "platform/handle_win.h"
#include "platform/long_path_win.h"
#include "platform/paths.h"
#include "support/test_tree.h"

namespace corvella {
namespace {

using platform::ExclusiveFile;
using platform::LongPath;
using platform::MappedFile;
using platform::MapStep;
using Bytes = std::vector<uint8_t>;

// The file as a well-behaved reader of another program opens it, offering every kind of sharing;
// null when refused.
platform::FileHandle OpenAsAnotherProgram(const std::u16string& path) {
    return platform::FileHandle(CreateFileW(LongPath(path).c_str(), GENERIC_READ,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                            nullptr));
}

std::map<std::u16string, platform::DirEntry> List(const std::u16string& folder) {
    std::map<std::u16string, platform::DirEntry> seen;
    platform::DirLister lister;
    platform::DirEntry e;
    if (lister.Open(folder))
        while (lister.Next(e)) seen[std::u16string(e.name)] = e;
    seen.erase(u".");
    seen.erase(u"..");
    return seen;
}

bool MakeFile(const std::u16string& path, uint64_t bytes) {
    MappedFile f;
    return f.Create(path, bytes, false) == MapStep::Done;
}

// A folder removed with everything in it through \\?\ paths, which std::filesystem cannot use.
struct LongTree {
    std::u16string root;
    ~LongTree() { Remove(root); }
    static void Remove(const std::u16string& folder) {
        for (const auto& [name, entry] : List(folder + u'\\'))
            entry.folder ? Remove(folder + u'\\' + name)
                         : void(DeleteFileW(LongPath(folder + u'\\' + name).c_str()));
        RemoveDirectoryW(LongPath(folder).c_str());
    }
};

// Folders below `base`, each a name of 60 letters, until the path is past MAX_PATH.
std::vector<std::u16string> DeepFolders(const std::u16string& base, char16_t first) {
    std::vector<std::u16string> levels{base};
    while (levels.back().size() <= MAX_PATH + 40)
        levels.push_back(levels.back() + u'\\' +
                         std::u16string(60, char16_t(first + levels.size())));
    levels.erase(levels.begin());
    return levels;
}

TEST(Win32ExclusiveOpen, OurHoldShutsOutOtherProgramsAndTheirsShutsUsOutWithoutEmptying) {
    test::TempDir dir;
    const std::u16string path = dir.U16("cache.db");
    {
        MappedFile held;
        ASSERT_EQ(held.Create(path, 4096, false), MapStep::Done);
        EXPECT_FALSE(OpenAsAnotherProgram(path));
    }
    test::WriteBytes(dir.path() / "cache.db", Bytes(5000, 0x5A));
    platform::FileHandle other = OpenAsAnotherProgram(path);
    ASSERT_TRUE(other);
    MappedFile second;
    ExclusiveFile third;
    EXPECT_EQ(second.OpenExisting(path, MappedFile::Access::ReadWrite), MapStep::File);
    EXPECT_EQ(second.last_error(), ERROR_SHARING_VIOLATION);
    EXPECT_FALSE(third.OpenExisting(path));
    EXPECT_EQ(second.Create(path, 4096, false), MapStep::File);
    other.Close();
    // Another instance with the old cache mapped keeps it from being replaced.
    test::WriteBytes(dir.path() / "cache.db.new", {4});
    ASSERT_EQ(second.OpenExisting(path, MappedFile::Access::ReadOnly), MapStep::Done);
    EXPECT_FALSE(platform::MoveIntoPlace(dir.U16("cache.db.new"), path, third));
    second.Close();
    EXPECT_EQ(test::ReadBytes(dir.path() / "cache.db"), Bytes(5000, 0x5A));
}

TEST(Win32LongPaths, AFolderPastMaxPathIsListedInBothFormsAndBuiltWithNamesPastTheBmp) {
    test::TempDir dir;
    const std::vector<std::u16string> levels = DeepFolders(dir.U16(), u'a');
    LongTree tree{levels.front()};
    for (const std::u16string& level : levels)
        ASSERT_TRUE(CreateDirectoryW(LongPath(level).c_str(), nullptr));
    const std::u16string& deep = levels.back();
    const std::u16string names[] = {u"\u00c4rger \u00f1.txt",
                                    u"\u65e5\u672c\u8a9e\u306e\u30d5\u30a1", u"\U0001F600 grin.txt",
                                    u"x\U00020000\U0001D11E"};
    for (size_t i = 0; i < 4; ++i) ASSERT_TRUE(MakeFile(deep + u'\\' + names[i], 1000 * (i + 1)));
    ASSERT_TRUE(CreateDirectoryW(LongPath(deep + u"\\sub").c_str(), nullptr));
    ASSERT_TRUE(MakeFile(deep + u"\\sub\\leaf.txt", 10));
    for (const std::u16string& folder : {deep + u"\\", u"\\\\?\\" + deep + u"\\"}) {
        const auto seen = List(folder);
        ASSERT_EQ(seen.size(), 5u) << test::Narrow(folder);
        EXPECT_TRUE(seen.at(u"sub").folder);
        for (size_t i = 0; i < 4; ++i) {
            ASSERT_TRUE(seen.count(names[i])) << i;
            EXPECT_EQ(seen.at(names[i]).size_bytes, 1000 * (i + 1)) << i;
        }
    }
    test::TempDir cache_dir;
    const auto entries = test::BuildReal(cache_dir, levels.front() + u'\\');
    ASSERT_TRUE(entries.count(deep + u"\\sub\\leaf.txt")) << entries.size() << " entries";
    EXPECT_EQ(entries.at(deep + u'\\' + names[2]).value, 3u);  // KiB
    EXPECT_TRUE(entries.at(deep).folder);
}

TEST(Win32Paths, CreateParentFoldersMakesEveryMissingLevelOfEveryForm) {
    test::TempDir dir;
    const std::u16string base = dir.U16();
    const std::vector<std::u16string> deep = DeepFolders(base, u'k');
    LongTree tree{deep.front()};
    const struct {
        std::u16string file, folder;
    } cases[] = {{base + u"\\a\\b\\c\\cache.db", base + u"\\a\\b\\c"},
                 {base + u"/f/g/cache.db", base + u"\\f\\g"},
                 {u"\\\\?\\" + base + u"\\p\\q\\cache.db", base + u"\\p\\q"},
                 {deep.back() + u"\\cache.db", deep.back()}};
    for (const auto& c : cases) {
        EXPECT_TRUE(platform::CreateParentFolders(c.file)) << test::Narrow(c.file);
        EXPECT_TRUE(platform::IsFolder(c.folder)) << test::Narrow(c.folder);
    }
    EXPECT_FALSE(platform::FileExists(base + u"\\a\\b\\c\\cache.db")) << "only the folders";
    test::WriteBytes(dir.path() / "plain.txt", {1});
    EXPECT_FALSE(platform::CreateParentFolders(base + u"\\plain.txt\\x\\cache.db"));
}

TEST(Win32Paths, FolderRootIsAbsoluteWithOneTrailingSeparator) {
    test::TempDir dir;
    const std::u16string base = dir.U16();
    std::filesystem::create_directory(dir.path() / "sub");
    test::WriteBytes(dir.path() / "plain.txt", {1});
    const struct {
        std::u16string path;
        std::optional<std::u16string> root;
    } cases[] = {{u"C:\\", u"C:\\"},
                 {u"C:/", u"C:\\"},
                 {base, base + u'\\'},
                 {base + u'\\', base + u'\\'},
                 {base + u"\\sub\\..\\sub\\.", base + u"\\sub\\"},
                 {base + u"\\plain.txt", std::nullopt},
                 {base + u"\\missing", std::nullopt}};
    for (const auto& c : cases)
        EXPECT_EQ(platform::FolderRoot(c.path), c.root) << test::Narrow(c.path);
}

TEST(Win32LongPath, EveryFormBecomesAnAbsolutePrefixedPath) {
    wchar_t current[32768] = {};
    std::wstring here(current, GetCurrentDirectoryW(32768, current));
    if (here.back() != L'\\') here += L'\\';
    const std::u16string a(200, u'a'), b(200, u'b');
    const struct {
        std::u16string path;
        std::wstring expected;
    } cases[] = {
        // Already prefixed: untouched, as the system would leave it.
        {u"\\\\?\\C:\\a\\..\\b", L"\\\\?\\C:\\a\\..\\b"},
        {u"\\\\?\\UNC\\server\\share\\x", L"\\\\?\\UNC\\server\\share\\x"},
        {u"\\\\.\\pipe\\corvella", L"\\\\.\\pipe\\corvella"},
        // Resolved first, since \\?\ turns off the handling of "/", "." and "..".
        {u"C:\\a\\.\\b\\..\\c/d", L"\\\\?\\C:\\a\\c\\d"},
        {u"C:\\", L"\\\\?\\C:\\"},
        {u"C:\\data\\", L"\\\\?\\C:\\data\\"},  // kept for "*" to be appended
        {u"\\\\server\\share\\dir\\..\\f.txt", L"\\\\?\\UNC\\server\\share\\f.txt"},
        {u"sub\\f.txt", L"\\\\?\\" + here + L"sub\\f.txt"},
        // Longer than MAX_PATH: resolved in full, not cut at the first buffer's size.
        {u"C:\\" + a + u"\\x\\..\\" + b,
         L"\\\\?\\C:\\" + std::wstring(200, L'a') + L"\\" + std::wstring(200, L'b')},
    };
    for (const auto& c : cases) EXPECT_EQ(LongPath(c.path), c.expected) << test::Narrow(c.path);
}

}  // namespace
}  // namespace corvella
