#include "watch/drive_watcher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <utility>

#include "support/test_tree.h"
#include "watch/watcher_table.h"

namespace corvella {
namespace {

using namespace std::chrono_literals;
using test::CollectErrors;

// Change notification fed by the test: each Deliver is one read's worth of folders. Each watcher's
// own source is woken, not its neighbour's.
class FakeSource final : public platform::ChangeSource {
  public:
    struct Shared {
        std::mutex lock;
        std::condition_variable changed;
        std::deque<std::vector<std::u16string>> batches;
        bool open_fails = false;
        bool open_held = false;  // Open waits until the test lets it go
        int reads = 0;
        void Deliver(std::vector<std::u16string> folders) {
            std::lock_guard guard(lock);
            batches.push_back(std::move(folders));
            changed.notify_all();
        }
    };
    explicit FakeSource(std::shared_ptr<Shared> shared) : shared_(std::move(shared)) {}

    bool Open(const std::u16string& root, std::u16string& problem) override {
        {
            std::unique_lock guard(shared_->lock);
            shared_->changed.wait(guard, [&] { return !shared_->open_held; });
        }
        if (shared_->open_fails) problem = u"cannot watch " + root;
        return !shared_->open_fails;
    }
    ReadResult Read(std::vector<std::u16string>& folders) override {
        std::unique_lock guard(shared_->lock);
        ++shared_->reads;
        shared_->changed.wait(guard, [&] { return woken_ || !shared_->batches.empty(); });
        if (std::exchange(woken_, false)) return ReadResult::Woken;
        folders = std::move(shared_->batches.front());
        shared_->batches.pop_front();
        return ReadResult::Changes;
    }
    void Wake() override {
        std::lock_guard guard(shared_->lock);
        woken_ = true;
        shared_->changed.notify_all();
    }
    std::u16string TakeNotice() override { return {}; }
    void Close() override {}

  private:
    std::shared_ptr<Shared> shared_;
    bool woken_ = false;
};

class DriveWatcherTest : public ::testing::Test {
  protected:
    WatcherOptions Options() {
        WatcherOptions options;
        options.errors = &errors;
        options.make_source = [this] { return std::make_unique<FakeSource>(source); };
        options.on_applied = [this](const std::u16string& folder, ApplyResult) {
            std::lock_guard guard(lock);
            applied.push_back(folder);
        };
        options.idle_ms = 50;
        return options;
    }
    std::vector<std::u16string> Applied() {
        std::lock_guard guard(lock);
        return applied;
    }
    // Waits until `count` folders were applied or 5 s passed.
    std::vector<std::u16string> WaitForApplied(size_t count) {
        for (int i = 0; i < 500 && Applied().size() < count; ++i) std::this_thread::sleep_for(10ms);
        return Applied();
    }

    CollectErrors errors;
    std::shared_ptr<FakeSource::Shared> source = std::make_shared<FakeSource::Shared>();
    std::mutex lock;
    std::vector<std::u16string> applied;
};

TEST_F(DriveWatcherTest, BurstsInOneFolderAreAppliedOnceInOrderOfFirstReport) {
    CDriveWatcher watcher(Options());
    watcher.Init(u"C:\\");
    watcher.Start();
    EXPECT_EQ(watcher.state(), WatcherState::Running);
    // An editor's save: temporary file written, old file deleted, temporary renamed, as separate
    // reads a few milliseconds apart; then a new folder and a file inside it.
    for (int i = 0; i < 4; ++i) {
        source->Deliver({u"C:\\docs\\"});
        std::this_thread::sleep_for(5ms);
    }
    source->Deliver({u"C:\\docs\\", u"C:\\docs\\new\\", u"C:\\docs\\new\\"});
    EXPECT_EQ(WaitForApplied(2), (std::vector<std::u16string>{u"C:\\docs\\", u"C:\\docs\\new\\"}));
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(Applied().size(), 2u);
    watcher.Stop();
}

TEST_F(DriveWatcherTest, ChangesDuringAPauseOrAStopAreAppliedAfterwards) {
    CDriveWatcher watcher(Options());
    watcher.Init(u"C:\\");
    watcher.StartWatchOnly();
    source->Deliver({u"C:\\a\\"});
    std::this_thread::sleep_for(200ms);
    EXPECT_TRUE(Applied().empty()) << "nothing is applied while only watching";

    watcher.ResumeProcessing();
    EXPECT_EQ(WaitForApplied(1), std::vector<std::u16string>{u"C:\\a\\"});
    watcher.PauseProcessing();
    source->Deliver({u"C:\\b\\"});
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(Applied().size(), 1u) << "nothing is applied while paused";

    // Stopping keeps the queue too; pause and resume do nothing to a stopped watcher.
    watcher.Stop();
    watcher.ResumeProcessing();
    watcher.PauseProcessing();
    EXPECT_EQ(watcher.state(), WatcherState::Stopped);
    watcher.Init(u"C:\\");
    watcher.Start();
    EXPECT_EQ(WaitForApplied(2).back(), u"C:\\b\\");
    watcher.Stop();
}

TEST_F(DriveWatcherTest, RootThatCannotBeWatchedIsReportedOnceAndStopReturns) {
    source->open_fails = true;
    CDriveWatcher watcher(Options());
    watcher.Init(u"C:\\");
    watcher.Start();
    watcher.WaitUntilWatching();  // a root that failed to open ends the wait too
    EXPECT_EQ(errors.messages, std::vector<std::u16string>{u"cannot watch C:\\"});
    watcher.Stop();
    EXPECT_EQ(source->reads, 0) << "no read is tried on a root that did not open";
}

// The keeper says it is watching once this returns: a change made in the tree before the root's
// watches exist would be lost without a word.
TEST_F(DriveWatcherTest, WaitingForTheWatchEndsOnlyWhenTheRootIsOpen) {
    source->open_held = true;
    CDriveWatcher watcher(Options());
    watcher.Init(u"C:\\");
    watcher.Start();
    std::atomic<bool> watching{false};
    std::thread waiter([&] {
        watcher.WaitUntilWatching();
        watching = true;
    });
    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(watching) << "the wait ended while the root was still being opened";
    {
        std::lock_guard guard(source->lock);
        source->open_held = false;
        source->changed.notify_all();
    }
    waiter.join();
    watcher.Stop();
}

TEST_F(DriveWatcherTest, LateProcessorNeverAppliesBesideItsSuccessor) {
    // A real update whose listing blocks: the pause gives up waiting, processing resumes, and the
    // late processor must finish its folder alone and then end.
    test::TempDir dir;
    test::FakeTree tree;
    tree.AddFolder(u"C:\\").Add(u"C:\\", {u"a", true}).Add(u"C:\\", {u"b", true});
    tree.AddFolder(u"C:\\a\\").AddFolder(u"C:\\b\\");
    ASSERT_TRUE(test::BuildFake(tree, {u"C:\\"}, dir.U16("cache.db")));

    std::atomic<int> inside{0}, most{0};
    std::atomic<bool> release{false};
    tree.on_open = [&](const std::u16string& folder) {
        const int now = ++inside;
        most = std::max(most.load(), now);
        if (folder == u"C:\\a\\")
            while (!release) std::this_thread::sleep_for(5ms);
        std::this_thread::sleep_for(20ms);
        --inside;
    };
    WatcherOptions options = Options();
    options.listing = &tree;
    options.cache_path = dir.U16("cache.db");
    options.pause_limit_ms = 50;
    CDriveWatcher watcher(options);
    watcher.Init(u"C:\\");
    watcher.Start();
    source->Deliver({u"C:\\a\\"});
    while (inside == 0) std::this_thread::sleep_for(5ms);

    watcher.PauseProcessing();  // gives up after 50 ms: a\ is still being listed
    source->Deliver({u"C:\\b\\", u"C:\\"});
    watcher.ResumeProcessing();
    std::this_thread::sleep_for(200ms);
    release = true;
    const std::vector<std::u16string> done = WaitForApplied(3);
    watcher.Stop();
    EXPECT_EQ(most.load(), 1) << "two processors applied at once";
    EXPECT_EQ(done, (std::vector<std::u16string>{u"C:\\a\\", u"C:\\b\\", u"C:\\"}));
    EXPECT_TRUE(errors.messages.empty());
}

TEST_F(DriveWatcherTest, TableStartsPausesAndStopsEveryRootInOrder) {
    CWatcherTable table(Options(), [] { return std::vector<std::u16string>{u"C:\\", u"E:\\"}; });
    table.StartWatchers();
    ASSERT_EQ(table.started(), 2u);
    EXPECT_EQ(table.slot(0)->root() + table.slot(1)->root(), u"C:\\E:\\");
    EXPECT_EQ(table.slot(2), nullptr);
    const std::pair<void (CWatcherTable::*)(), WatcherState> steps[] = {
        {&CWatcherTable::PauseWatchers, WatcherState::Watching},
        {&CWatcherTable::ResumeWatchers, WatcherState::Running},
        {&CWatcherTable::StopWatchers, WatcherState::Stopped},
        {&CWatcherTable::StartWatchersWatchOnly, WatcherState::Watching}};
    for (const auto& [step, want] : steps) {
        (table.*step)();
        EXPECT_EQ(std::make_pair(table.slot(0)->state(), table.slot(1)->state()),
                  std::make_pair(want, want));
    }
    table.StopWatchers();
}

}  // namespace
}  // namespace corvella
