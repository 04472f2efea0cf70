// ReadDirectoryChangesW through the seam. Wine 8 reports changes only in the watched folder
// itself, not below it, so the tests on a live root change files at the root; the walk over records
// from deeper folders is tested on records made here.
#include "platform/change_source_win.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <memory>
#include <thread>

#include "platform/change_source.h"
#include "platform/long_path_win.h"
#include "platform/text_win.h"
#include "support/read_changes.h"
#include "support/test_tree.h"

namespace corvella {
namespace {

namespace fs = std::filesystem;
using platform::ChangeSource;
using platform::LongPath;
using ReadResult = ChangeSource::ReadResult;

// An empty file, made in one step, so that one record comes of it.
void Make(const fs::path& path) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
}

// The 8.3 form of an existing path; Wine makes one up for every long name.
std::u16string ShortForm(const std::u16string& path) {
    wchar_t buffer[MAX_PATH];
    const DWORD got = GetShortPathNameW(platform::ToWide(path).c_str(), buffer, MAX_PATH);
    return got > 0 && got < MAX_PATH ? platform::FromWide(buffer, got) : path;
}

// FILE_NOTIFY_INFORMATION records laid out as the system lays them out.
class Records {
  public:
    Records& Add(DWORD action, const std::u16string& name, DWORD name_bytes = 0) {
        const size_t at = bytes_.size();
        const size_t size =
            (offsetof(FILE_NOTIFY_INFORMATION, FileName) + name.size() * sizeof(char16_t) + 3) &
            ~size_t{3};
        bytes_.resize(at + size, 0);
        auto* record = reinterpret_cast<FILE_NOTIFY_INFORMATION*>(bytes_.data() + at);
        record->Action = action;
        record->FileNameLength =
            name_bytes ? name_bytes : static_cast<DWORD>(name.size() * sizeof(char16_t));
        std::memcpy(record->FileName, name.data(), name.size() * sizeof(char16_t));
        if (last_ != SIZE_MAX) Record(last_)->NextEntryOffset = static_cast<DWORD>(at - last_);
        last_ = at;
        return *this;
    }
    const void* data() const { return bytes_.data(); }
    size_t size() const { return bytes_.size(); }

  private:
    FILE_NOTIFY_INFORMATION* Record(size_t at) {
        return reinterpret_cast<FILE_NOTIFY_INFORMATION*>(bytes_.data() + at);
    }
    std::vector<unsigned char> bytes_;  // vector storage is aligned for the DWORD fields
    size_t last_ = SIZE_MAX;
};

TEST(WinChangeRecords, EachChangeGivesTheLongFormOfItsFolderAndOldNamesAndGoneFoldersGiveNone) {
    test::TempDir dir;
    fs::create_directories(dir.path() / "sub");
    fs::create_directories(dir.path() / "only old");
    fs::create_directories(dir.path() / "A Long Folder Name");
    const std::u16string root = dir.U16() + u"\\";
    const std::u16string short_path = ShortForm(dir.U16("A Long Folder Name"));
    const std::u16string short_name = short_path.substr(short_path.rfind(u'\\') + 1);

    Records records;
    records.Add(FILE_ACTION_ADDED, u"sub\\x.txt")
        .Add(FILE_ACTION_RENAMED_OLD_NAME, u"only old\\a.txt")
        .Add(FILE_ACTION_ADDED, short_name + u"\\y.txt")
        .Add(FILE_ACTION_REMOVED, u"gone\\z.txt")
        .Add(FILE_ACTION_MODIFIED, u"top.txt")
        .Add(7, u"only old\\b.txt")
        .Add(FILE_ACTION_RENAMED_NEW_NAME, u"sub\\new.txt")
        .Add(FILE_ACTION_ADDED, u"only old\\c.txt", 100000);  // runs past the buffer
    std::vector<std::u16string> folders;
    platform::AppendChangedFolders(root, records.data(), records.size(), folders);
    const std::vector<std::u16string> expected = {root + u"sub\\", root + u"A Long Folder Name\\",
                                                  root, root + u"sub\\"};
    EXPECT_EQ(folders, expected);
}

class WinChangeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(dir_.path() / "Watched Root Folder");
        // Opened by its short form, so that the long form has to be made.
        source_ = platform::MakeSystemChangeSource();
        std::u16string problem;
        ASSERT_TRUE(source_->Open(ShortForm(dir_.U16("Watched Root Folder")) + u"\\", problem))
            << test::Narrow(problem);
    }

    // Starts a Read on another thread; its result comes through the future.
    std::future<ReadResult> ReadAway() {
        return std::async(std::launch::async, [source = source_] {
            std::vector<std::u16string> folders;
            ReadResult result;
            do {  // the changes a wake makes come first
                result = source->Read(folders);
            } while (result == ReadResult::Changes);
            return result;
        });
    }

    // The system collects changes for a handle only from its first read on, so the first read is
    // made while a file is made at the root now and then, until the read has returned.
    std::vector<std::u16string> ReadWhilePoking() {
        std::atomic<bool> stop{false};
        std::thread poker([&] {
            for (int n = 0; !stop; ++n) {
                CloseHandle(CreateFileW((root_path_ / ("poke" + std::to_string(n))).c_str(),
                                        GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        });
        const auto seen = test::ReadUntil(*source_, {root_});
        stop = true;
        poker.join();
        return seen;
    }

    test::TempDir dir_;
    const fs::path root_path_ = dir_.path() / "Watched Root Folder";
    const std::u16string root_ = dir_.U16("Watched Root Folder") + u"\\";
    std::shared_ptr<ChangeSource> source_;
};

TEST_F(WinChangeTest, FilesMadeAndRenamedAtTheRootReportTheRootInLongForm) {
    Make(root_path_ / "a.txt");
    const auto made = ReadWhilePoking();
    EXPECT_EQ(test::Count(made, root_), made.size());
    EXPECT_GE(made.size(), 1u);

    fs::rename(root_path_ / "a.txt", root_path_ / "b.txt");
    const auto renamed = test::ReadUntil(*source_, {root_});
    EXPECT_EQ(test::Count(renamed, root_), renamed.size());
    EXPECT_GE(renamed.size(), 1u);
}

TEST_F(WinChangeTest, WakeEndsABlockedRead) {
    auto read = ReadAway();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // most likely blocking by now
    source_->Wake();
    ASSERT_EQ(read.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(read.get(), ReadResult::Woken);
}

TEST_F(WinChangeTest, WakeEndsABlockedReadWhenItsFileCannotBeMade) {
    // Held without sharing, the wake-up file cannot be made again until this handle is closed.
    const HANDLE held = CreateFileW(LongPath(root_ + platform::kWakeFileName).c_str(),
                                    GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
                                    CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);

    auto read = ReadAway();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    // Woken from another thread, so that a Wake that cannot end the read fails the test instead
    // of hanging it.
    auto woke = std::async(std::launch::async, [source = source_] { source->Wake(); });
    const bool ended = read.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    CloseHandle(held);  // its removal ends the read if nothing else did
    woke.wait();
    ASSERT_TRUE(ended);
    EXPECT_EQ(read.get(), ReadResult::Woken);
}

TEST(WinChangeOpen, AMissingRootIsAProblemNamingIt) {
    test::TempDir dir;
    const std::u16string root = dir.U16("missing") + u"\\";
    auto source = platform::MakeSystemChangeSource();
    std::u16string problem;
    EXPECT_FALSE(source->Open(root, problem));
    EXPECT_NE(problem.find(root), std::u16string::npos) << test::Narrow(problem);
}

}  // namespace
}  // namespace corvella
