// inotify through the seam, on real folders: which folder each change is reported in, how the
// watches follow folders that come, move and go, the kernel's overflow and watch limits, waking.
#include "platform/change_source_posix.h"

#include <gtest/gtest.h>
#include <stdio.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "platform/change_source.h"
#include "platform/text.h"
#include "support/read_changes.h"
#include "support/test_tree.h"

namespace corvella {
namespace {

namespace fs = std::filesystem;
using platform::ChangeSource;
using ReadResult = ChangeSource::ReadResult;
using test::Count;

void Touch(const fs::path& path) {
    std::ofstream(path, std::ios::app) << "x";
}

class InotifyTest : public ::testing::Test {
  protected:
    void Open(std::unique_ptr<ChangeSource> made = platform::MakeSystemChangeSource()) {
        source_ = std::move(made);
        std::u16string problem;
        ASSERT_TRUE(source_->Open(root_, problem)) << test::Narrow(problem);
    }
    std::u16string Folder(const std::string& name) const { return dir_.U16(name) + u"/"; }
    fs::path At(const std::string& relative) const { return dir_.path() / fs::u8path(relative); }
    std::vector<std::u16string> ReadUntil(const std::vector<std::u16string>& wanted) {
        return test::ReadUntil(*source_, wanted);
    }

    test::TempDir dir_;
    const std::u16string root_ = dir_.U16() + u"/";
    std::unique_ptr<ChangeSource> source_;
};

// A folder moved within the tree is reported under its new path, a name that is not UTF-8 as the
// same bytes; one that leaves is not reported again, and a new one of a deleted one's name is.
TEST_F(InotifyTest, MovedFoldersFollowTheirNewPath) {
    for (const char* folder : {"old/inner", "elsewhere", "leaving/inner", "deleted"})
        fs::create_directories(At(folder));
    test::TempDir outside;
    Open();
    fs::rename(At("old"), At("elsewhere/new\xff"));
    fs::rename(At("leaving"), outside.path() / "left");
    fs::remove(At("deleted"));
    fs::create_directory(At("deleted"));
    ReadUntil({root_, Folder("elsewhere")});

    Touch(At("elsewhere/new\xff/inner/f.txt"));
    Touch(outside.path() / "left" / "inner" / "f.txt");
    Touch(outside.path() / "left" / "g.txt");
    Touch(At("deleted/f.txt"));
    const std::u16string inner = Folder("elsewhere/new\xff/inner");
    const auto seen = ReadUntil({inner, Folder("deleted")});
    EXPECT_EQ(Count(seen, inner), 1u);
    EXPECT_GE(Count(seen, Folder("deleted")), 1u);
    EXPECT_EQ(ToUtf8(inner), dir_.path().string() + "/elsewhere/new\xff/inner/");
    for (const std::u16string& folder : seen)
        EXPECT_TRUE(folder.find(u"leaving") == folder.npos && folder.find(u"left") == folder.npos)
            << test::Narrow(folder);
}

TEST_F(InotifyTest, LinksToFoldersAreNotFollowed) {
    test::TempDir target;
    fs::create_directory_symlink(target.path(), dir_.path() / "link");
    Open();
    Touch(target.path() / "f.txt");
    Touch(dir_.path() / "sentinel.txt");
    EXPECT_EQ(ReadUntil({root_}), std::vector<std::u16string>{root_});
}

TEST_F(InotifyTest, AnOverflowReportsTheRootAndWatchesWhatCameMeanwhile) {
    uint64_t queue_limit = 0;
    std::ifstream("/proc/sys/fs/inotify/max_queued_events") >> queue_limit;
    if (queue_limit == 0 || queue_limit > 1'000'000)
        GTEST_SKIP() << "the kernel's queue is too large to fill here";
    Open();
    // Each rename queues two events that never merge with the one before.
    const std::string a = (dir_.path() / "a").string();
    const std::string b = (dir_.path() / "b").string();
    Touch(a);
    for (uint64_t i = 0; i <= queue_limit / 2; ++i)
        ASSERT_EQ(::rename(i % 2 ? b.c_str() : a.c_str(), i % 2 ? a.c_str() : b.c_str()), 0);
    fs::create_directory(dir_.path() / "during");  // its creation is lost with the overflow
    EXPECT_EQ(Count(ReadUntil({root_}), root_), 1u);

    Touch(dir_.path() / "during" / "f.txt");
    EXPECT_EQ(Count(ReadUntil({Folder("during")}), Folder("during")), 1u);
}

TEST_F(InotifyTest, TheWatchLimitIsToldOnceAndWatchingGoesOn) {
    for (const char* name : {"a", "b", "c", "d"}) fs::create_directory(dir_.path() / name);
    Open(platform::MakeInotifyChangeSource(3));
    const std::u16string notice = source_->TakeNotice();
    EXPECT_NE(notice.find(u"sudo sysctl fs.inotify.max_user_watches="), std::u16string::npos);
    EXPECT_NE(notice.find(u"/etc/sysctl.d"), std::u16string::npos);
    uint64_t limit = 0;
    if (std::ifstream("/proc/sys/fs/inotify/max_user_watches") >> limit) {
        EXPECT_NE(notice.find(u" " + FromUtf8(std::to_string(limit)) + u" "), std::u16string::npos)
            << test::Narrow(notice);
    }
    EXPECT_EQ(source_->TakeNotice(), u"");

    fs::create_directory(dir_.path() / "e");  // cannot be watched either
    Touch(dir_.path() / "f.txt");
    EXPECT_EQ(Count(ReadUntil({root_}), root_), 1u);
    EXPECT_EQ(source_->TakeNotice(), u"");
}

TEST_F(InotifyTest, WakeEndsABlockedReadAndAWakeBeforeAReadIsKept) {
    Open();
    std::vector<std::u16string> folders;
    ReadResult result = ReadResult::Failed;
    std::thread reader([&] { result = source_->Read(folders); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    source_->Wake();
    reader.join();
    EXPECT_EQ(result, ReadResult::Woken);

    source_->Wake();
    Touch(dir_.path() / "f.txt");
    EXPECT_EQ(source_->Read(folders), ReadResult::Woken);
    EXPECT_EQ(ReadUntil({root_}), std::vector<std::u16string>{root_});  // the change waited
}

TEST(InotifyOpen, AMissingRootOrAFileIsAProblemNamingIt) {
    test::TempDir dir;
    Touch(dir.path() / "file");
    for (const std::u16string& root : {dir.U16("missing") + u"/", dir.U16("file") + u"/"}) {
        auto source = platform::MakeSystemChangeSource();
        std::u16string problem;
        EXPECT_FALSE(source->Open(root, problem));
        EXPECT_NE(problem.find(root), std::u16string::npos) << test::Narrow(problem);
        source->Close();
        source->Close();
    }
}

}  // namespace
}  // namespace corvella
