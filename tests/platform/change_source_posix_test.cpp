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
    std::vector<std::u16string> ReadUntil(const std::vector<std::u16string>& wanted) {
        return test::ReadUntil(*source_, wanted);
    }

    test::TempDir dir_;
    const std::u16string root_ = dir_.U16() + u"/";
    std::unique_ptr<ChangeSource> source_;
};

TEST_F(InotifyTest, ChangesInASubfolderReportThatSubfolderAndARenameWithinItOnce) {
    fs::create_directories(dir_.path() / "a" / "b");
    Open();
    const std::u16string b = Folder("a/b");
    Touch(dir_.path() / "a" / "b" / "one.txt");
    EXPECT_EQ(ReadUntil({b}), std::vector<std::u16string>{b});

    fs::rename(dir_.path() / "a" / "b" / "one.txt", dir_.path() / "a" / "b" / "two.txt");
    EXPECT_EQ(ReadUntil({b}), std::vector<std::u16string>{b});  // old and new name, once

    fs::remove(dir_.path() / "a" / "b" / "two.txt");
    EXPECT_EQ(ReadUntil({b}), std::vector<std::u16string>{b});
}

TEST_F(InotifyTest, AMoveBetweenFoldersReportsBoth) {
    fs::create_directories(dir_.path() / "from");
    fs::create_directories(dir_.path() / "to");
    Touch(dir_.path() / "from" / "f.txt");
    Open();
    fs::rename(dir_.path() / "from" / "f.txt", dir_.path() / "to" / "f.txt");
    const auto seen = ReadUntil({Folder("from"), Folder("to")});
    EXPECT_EQ(Count(seen, Folder("from")), 1u);
    EXPECT_EQ(Count(seen, Folder("to")), 1u);
}

TEST_F(InotifyTest, NewFoldersAreWatchedWithEverythingMadeInThemBeforeTheirWatch) {
    Open();
    // A name that is not UTF-8 comes back as the same bytes.
    const std::string odd = "new\xff";
    fs::create_directories(dir_.path() / odd / "deep");
    Touch(dir_.path() / odd / "deep" / "early.txt");
    EXPECT_EQ(Count(ReadUntil({root_}), root_), 1u);

    const std::u16string deep = root_ + FromUtf8(odd) + u"/deep/";
    Touch(dir_.path() / odd / "deep" / "later.txt");
    EXPECT_EQ(ReadUntil({deep}), std::vector<std::u16string>{deep});
    EXPECT_EQ(ToUtf8(deep), dir_.path().string() + "/" + odd + "/deep/");
}

TEST_F(InotifyTest, FoldersMovedWithinTheTreeAreReportedUnderTheirNewPath) {
    fs::create_directories(dir_.path() / "old" / "inner");
    fs::create_directories(dir_.path() / "elsewhere");
    Open();
    fs::rename(dir_.path() / "old", dir_.path() / "elsewhere" / "new");
    ReadUntil({root_, Folder("elsewhere")});

    Touch(dir_.path() / "elsewhere" / "new" / "inner" / "f.txt");
    const std::u16string inner = Folder("elsewhere/new/inner");
    EXPECT_EQ(ReadUntil({inner}), std::vector<std::u16string>{inner});
}

TEST_F(InotifyTest, FoldersThatLeaveAreNotReportedAgainAndANewOneOfTheSameNameIs) {
    fs::create_directories(dir_.path() / "leaving" / "inner");
    fs::create_directories(dir_.path() / "deleted");
    test::TempDir outside;
    Open();
    fs::rename(dir_.path() / "leaving", outside.path() / "left");
    fs::remove(dir_.path() / "deleted");
    fs::create_directory(dir_.path() / "deleted");
    ReadUntil({root_});

    Touch(outside.path() / "left" / "inner" / "f.txt");
    Touch(outside.path() / "left" / "g.txt");
    Touch(dir_.path() / "deleted" / "f.txt");
    Touch(dir_.path() / "sentinel.txt");
    const auto seen = ReadUntil({Folder("deleted"), root_});
    for (const std::u16string& folder : seen)
        EXPECT_EQ(folder.find(u"leaving"), std::u16string::npos) << test::Narrow(folder);
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
    for (uint64_t i = 0; i <= queue_limit / 2; ++i) {
        ASSERT_EQ(::rename(i % 2 ? b.c_str() : a.c_str(), i % 2 ? a.c_str() : b.c_str()), 0);
    }
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
    ReadResult result = ReadResult::Failed;
    std::thread reader([&] {
        std::vector<std::u16string> folders;
        result = source_->Read(folders);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    source_->Wake();
    reader.join();
    EXPECT_EQ(result, ReadResult::Woken);

    source_->Wake();
    Touch(dir_.path() / "f.txt");
    std::vector<std::u16string> folders;
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
