// ReadDirectoryChangesW through the seam. Wine 8 reports changes only in the watched folder
// itself, not below it, so the walk over records from deeper folders is tested on records made
// here; changes at a live root reaching the cache are the watch step of run-wine-tests.sh.
#include "platform/change_source_win.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstring>
#include <future>
#include <memory>
#include <thread>

#include "platform/change_source.h"
#include "platform/long_path_win.h"
#include "support/test_tree.h"

namespace corvella {
namespace {

namespace fs = std::filesystem;
using platform::ChangeSource;
using platform::LongPath;
using ReadResult = ChangeSource::ReadResult;
using namespace std::chrono_literals;

// The 8.3 form of an existing path; Wine makes one up for every long name.
std::u16string ShortForm(const std::u16string& path) {
    wchar_t buffer[MAX_PATH];
    const DWORD got =
        GetShortPathNameW(reinterpret_cast<const wchar_t*>(path.c_str()), buffer, MAX_PATH);
    return got > 0 && got < MAX_PATH ? std::u16string(buffer, buffer + got) : path;
}

// FILE_NOTIFY_INFORMATION records laid out as the system lays them out, each four-byte aligned.
struct Record {
    DWORD action;
    std::u16string name;
    DWORD name_bytes = 0;  // 0: the name's own length
};
std::vector<DWORD> Lay(const std::vector<Record>& records) {
    std::vector<DWORD> words;
    for (size_t i = 0; i < records.size(); ++i) {
        const Record& r = records[i];
        const size_t at = words.size(), name_words = (r.name.size() + 1) / 2;
        words.resize(at + 3 + name_words, 0);
        const DWORD size = DWORD(3 + name_words) * 4;
        words[at] = i + 1 < records.size() ? size : 0;
        words[at + 1] = r.action;
        words[at + 2] = r.name_bytes ? r.name_bytes : DWORD(r.name.size() * 2);
        std::memcpy(&words[at + 3], r.name.data(), r.name.size() * 2);
    }
    return words;
}

TEST(WinChangeRecords, EachChangeGivesTheLongFormOfItsFolderAndOldNamesAndGoneFoldersGiveNone) {
    test::TempDir dir;
    for (const char* folder : {"sub", "only old", "A Long Folder Name"})
        fs::create_directories(dir.path() / folder);
    const std::u16string root = dir.U16() + u"\\";
    const std::u16string short_path = ShortForm(dir.U16("A Long Folder Name"));
    const std::u16string short_name = short_path.substr(short_path.rfind(u'\\') + 1);
    const std::vector<DWORD> records = Lay({
        {FILE_ACTION_ADDED, u"sub\\x.txt"},
        {FILE_ACTION_RENAMED_OLD_NAME, u"only old\\a.txt"},
        {FILE_ACTION_ADDED, short_name + u"\\y.txt"},
        {FILE_ACTION_REMOVED, u"gone\\z.txt"},
        {FILE_ACTION_MODIFIED, u"top.txt"},
        {7, u"only old\\b.txt"},
        {FILE_ACTION_RENAMED_NEW_NAME, u"sub\\new.txt"},
        {FILE_ACTION_ADDED, u"only old\\c.txt", 100000},  // runs past the buffer
    });
    std::vector<std::u16string> folders;
    platform::AppendChangedFolders(root, records.data(), records.size() * 4, folders);
    const std::vector<std::u16string> expected = {root + u"sub\\", root + u"A Long Folder Name\\",
                                                  root, root + u"sub\\"};
    EXPECT_EQ(folders, expected);
}

TEST(WinChangeSource, WakeEndsABlockedReadEvenWhenItsFileCannotBeMade) {
    test::TempDir dir;
    const std::u16string root = dir.U16() + u"\\";
    const std::shared_ptr<ChangeSource> source = platform::MakeSystemChangeSource();
    std::u16string problem;
    ASSERT_TRUE(source->Open(root, problem)) << test::Narrow(problem);
    for (const bool wake_file_held : {false, true}) {
        // Held without sharing, the wake-up file cannot be made again until this handle closes.
        const HANDLE held = wake_file_held
                                ? CreateFileW(LongPath(root + platform::kWakeFileName).c_str(),
                                              GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
                                              CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr)
                                : INVALID_HANDLE_VALUE;
        ASSERT_EQ(held != INVALID_HANDLE_VALUE, wake_file_held);
        auto read = std::async(std::launch::async, [source] {  // past a wake's changes
            std::vector<std::u16string> folders;
            ReadResult result;
            while ((result = source->Read(folders)) == ReadResult::Changes) {
            }
            return result;
        });
        std::this_thread::sleep_for(100ms);  // most likely blocking by now
        // Woken from another thread, so that a Wake that cannot end the read fails the test
        // instead of hanging it.
        auto woke = std::async(std::launch::async, [source] { source->Wake(); });
        const bool ended = read.wait_for(10s) == std::future_status::ready;
        if (wake_file_held) CloseHandle(held);  // its removal ends the read if nothing else did
        woke.wait();
        ASSERT_TRUE(ended) << wake_file_held;
        EXPECT_EQ(read.get(), ReadResult::Woken) << wake_file_held;
    }
}

}  // namespace
}  // namespace corvella
