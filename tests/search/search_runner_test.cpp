// The search thread against a query that the test holds open: coalescing of typing, one worker
// at a time, empty patterns, failed and misdirected queries, the exit flag; and one real query.
#include "search/search_runner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>

#include "results/list_texts.h"
#include "support/test_tree.h"

namespace corvella {
namespace {

using namespace std::chrono_literals;
constexpr auto kHangGuard = 30s;

// A query that stops inside Run until released, and remembers what it was asked.
class HeldQuery final : public SearchQuery {
  public:
    explicit HeldQuery(ResultListModel& list) : list_(list) {}

    SearchAnswer Run(const std::u16string& pattern, const std::u16string& location) override {
        std::unique_lock lock(mutex_);
        patterns.push_back(pattern);
        locations.push_back(location);
        {
            std::lock_guard results(list_.results_lock());
            list_borrowed_during_run |= list_.results() != nullptr;
        }
        max_running = std::max(max_running, ++running_);
        changed_.notify_all();
        changed_.wait(lock, [this] { return !held_; });
        --running_;
        SearchAnswer a = answer;
        a.results = &results;
        return a;
    }

    void Hold() {
        std::lock_guard lock(mutex_);
        held_ = true;
    }
    void Release() {
        std::lock_guard lock(mutex_);
        held_ = false;
        changed_.notify_all();
    }
    void WaitForRuns(size_t n) {
        std::unique_lock lock(mutex_);
        ASSERT_TRUE(changed_.wait_for(lock, kHangGuard, [&] { return patterns.size() >= n; }));
    }

    // Read after the runner has shut down.
    std::vector<std::u16string> patterns, locations;
    int max_running = 0;
    bool list_borrowed_during_run = false;
    SearchAnswer answer;
    ResultSet results;

  private:
    ResultListModel& list_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool held_ = false;
    int running_ = 0;
};

class RecordingView final : public SearchView {
  public:
    void SearchStarted() override {
        std::lock_guard lock(mutex_);
        ++started;
    }
    void SearchFinished(const SearchReport& report) override {
        std::lock_guard lock(mutex_);
        reports.push_back(report);
        finished_.notify_all();
    }
    void WaitForReports(size_t n) {
        std::unique_lock lock(mutex_);
        ASSERT_TRUE(finished_.wait_for(lock, kHangGuard, [&] { return reports.size() >= n; }));
    }

    int started = 0;
    std::vector<SearchReport> reports;

  private:
    std::mutex mutex_;
    std::condition_variable finished_;
};

using test::AddResult;

class SearchRunnerTest : public ::testing::Test {
  protected:
    void TearDown() override {
        query_.Release();
        runner_.Shutdown();
    }

    ResultListModel list_;
    HeldQuery query_{list_};
    RecordingView view_;
    std::atomic<bool> cache_ready_{true};
    std::atomic<int> after_search_{0};
    SearchRunner runner_{query_, list_, view_, cache_ready_, [this] { ++after_search_; }};
};

TEST_F(SearchRunnerTest, TypingDuringASearchRunsOneMorePassAndCaseAloneNone) {
    AddResult(query_.results, u"", u"found", 1);
    query_.Hold();
    runner_.StartSearch(u"x", u"My Computer");
    query_.WaitForRuns(1);
    runner_.EditChanged(u"a", u"My Computer");
    runner_.EditChanged(u"aB", u"My Computer");
    runner_.EditChanged(u"aBc", u"My Computer");
    query_.Release();
    runner_.JoinWorkers();
    EXPECT_EQ(after_search_, 1);
    query_.Hold();
    runner_.EditChanged(u"\u00c4bc", u"My Computer");  // idle: this edit starts a worker
    query_.WaitForRuns(3);
    runner_.EditChanged(u"\u00e4BC", u"My Computer");  // Unicode case, not only A-Z
    query_.Release();
    runner_.JoinWorkers();
    EXPECT_EQ(query_.patterns, (std::vector<std::u16string>{u"x", u"abc", u"\u00e4bc"}));
    EXPECT_EQ(query_.max_running, 1);
    // The list let go of the previous records before each query rebuilt them.
    EXPECT_FALSE(query_.list_borrowed_during_run);
}

TEST_F(SearchRunnerTest, EveryStartRunsItsOwnSearchOneAfterAnother) {
    query_.Hold();
    runner_.StartSearch(u"abc", u"C:\\");
    query_.WaitForRuns(1);
    runner_.StartSearch(u"abc", u"D:\\");
    runner_.StartSearch(u"abc", u"D:\\");
    runner_.SetLocation(u"E:\\");  // neither searches nor makes the running search repeat
    query_.Release();
    runner_.JoinWorkers();
    // Each pass takes the request as it stands when the pass begins.
    EXPECT_EQ(query_.locations, (std::vector<std::u16string>{u"C:\\", u"E:\\", u"E:\\"}));
    EXPECT_EQ(query_.max_running, 1);
    EXPECT_EQ(after_search_, 3);
}

TEST_F(SearchRunnerTest, AnEmptyPatternSearchesNothingOnceAndSaysSo) {
    cache_ready_ = false;
    runner_.StartSearch(u"", u"My Computer");
    runner_.JoinWorkers();
    EXPECT_EQ(query_.patterns, (std::vector<std::u16string>{u";"}));
    ASSERT_EQ(view_.reports.size(), 1u);
    EXPECT_EQ(view_.reports[0].item_count, 1u);
    EXPECT_EQ(view_.reports[0].status, u"0 items found (0KB), in 0.00s");
    // Nothing found before the cache is complete: it is being built.
    EXPECT_EQ(list_.list_mode(), ListMode::CacheBuilding);
}

TEST_F(SearchRunnerTest, RecordsReachTheListAndTheStatusLineOrItsWarning) {
    AddResult(query_.results, u"", u"a", 1000);
    AddResult(query_.results, u"", u"b", 234567);
    query_.answer.total_size_kb = 1234567;
    query_.answer.start_ticks = 0xFFFFFFFFu - 99;  // the millisecond clock wraps in between
    query_.answer.end_ticks = 1400;
    runner_.StartSearch(u"a", u"My Computer");
    view_.WaitForReports(1);
    EXPECT_EQ(view_.reports[0].item_count, 2u);
    EXPECT_EQ(view_.reports[0].status, u"2 items found (1,234,567KB), in 1.50s");
    EXPECT_EQ(list_.list_mode(), ListMode::Results);
    EXPECT_EQ(list_.results(), &query_.results);
    // A location that does not exist: everything is shown, with a warning.
    query_.answer.outcome = QueryOutcome::NoSuchLocation;
    runner_.StartSearch(u"a", u"Q:\\nowhere");
    view_.WaitForReports(2);
    EXPECT_EQ(view_.reports[1].status, kInvalidLocationStatus);
    EXPECT_EQ(list_.results(), &query_.results);
    // A failed query shows none of the records it left behind.
    query_.answer.outcome = QueryOutcome::Failed;
    runner_.StartSearch(u"a", u"My Computer");
    view_.WaitForReports(3);
    EXPECT_EQ(view_.reports[2].item_count, 1u);
    EXPECT_EQ(view_.reports[2].status.substr(0, 21), u"0 items found (0KB), ");
    EXPECT_EQ(list_.list_mode(), ListMode::NoResults);
    EXPECT_EQ(list_.results(), nullptr);
}

TEST_F(SearchRunnerTest, WorkersWaitingAtExitReturnWithoutSearching) {
    query_.Hold();
    runner_.StartSearch(u"a", u"My Computer");
    query_.WaitForRuns(1);
    runner_.StartSearch(u"a", u"My Computer");
    runner_.StartSearch(u"a", u"My Computer");
    runner_.SetExitFlag();
    query_.Release();
    runner_.Shutdown();
    EXPECT_EQ(query_.patterns.size(), 1u);
    EXPECT_EQ(view_.started, 1);
    // Triggers after the exit start workers that return at once.
    runner_.StartSearch(u"b", u"My Computer");
    runner_.Shutdown();
    EXPECT_EQ(query_.patterns.size(), 1u);
}

TEST(SearchRunnerEngine, TheCriteriaOfThePagesNarrowARealQuery) {
    test::TempDir dir;
    test::FakeTree tree;
    tree.Add(u"C:\\", {u"notes.txt", false, 2048, 1})
        .Add(u"C:\\", {u"old.txt", true, 0, 1})
        .Add(u"C:\\", {u"a.bin", false, 10, 1});
    ASSERT_TRUE(test::BuildFake(tree, {u"C:\\"}, dir.U16("cache.db")));
    test::CollectErrors errors;
    CQueryer queryer(errors, dir.U16("cache.db"));
    queryer.SetPathSeparator(u'\\');
    SearchCriteria files_only;
    files_only.kind = SearchKind::FilesOnly;
    QueryerSearch query(queryer, [&] { return files_only; });
    ResultListModel list;
    RecordingView view;
    std::atomic<bool> ready{true};
    SearchRunner runner(query, list, view, ready);
    runner.StartSearch(u"*.TXT", u"C:\\");
    view.WaitForReports(1);
    runner.Shutdown();
    ListItem item;
    ASSERT_TRUE(list.GetItem(0, 1, item));
    EXPECT_EQ(item.name, u"notes.txt");
    EXPECT_EQ(item.location, u"C:\\");
    EXPECT_EQ(view.reports[0].records, 1u);
    EXPECT_EQ(view.reports[0].status.substr(0, 15), u"1 items found (");
    EXPECT_TRUE(errors.messages.empty());
}

}  // namespace
}  // namespace corvella
