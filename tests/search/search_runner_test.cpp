// The search thread against a query that the test holds open: coalescing of typing, one worker
// at a time, empty patterns, failed and misdirected queries, the exit flag. The pages' criteria
// narrowing the desktop's real searches are checked end to end (criteria-pages).
#include "search/search_runner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>

#include "results/list_texts.h"
#include "support/test_tree.h"

namespace corvella {
namespace {

using test::AddResult;
using Texts = std::vector<std::u16string>;

// A lock and a condition that every change is announced on, with a bounded wait.
struct Guarded {
    template <class Pred>
    void WaitFor(Pred done) {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(30), done));
    }
    std::mutex mutex;
    std::condition_variable changed;
};

// A query that stops inside Run until released, and remembers what it was asked.
class HeldQuery final : public SearchQuery, public Guarded {
  public:
    explicit HeldQuery(ResultListModel& list) : list_(list) {}

    SearchAnswer Run(const std::u16string& pattern, const std::u16string& location) override {
        std::unique_lock lock(mutex);
        patterns.push_back(pattern);
        locations.push_back(location);
        {
            std::lock_guard results(list_.results_lock());
            list_borrowed_during_run |= list_.results() != nullptr;
        }
        max_running = std::max(max_running, ++running_);
        changed.notify_all();
        changed.wait(lock, [this] { return !held; });
        --running_;
        SearchAnswer a = answer;
        a.results = &results;
        return a;
    }
    void Hold(bool on) {
        std::lock_guard lock(mutex);
        held = on;
        changed.notify_all();
    }
    void WaitForRuns(size_t n) {
        WaitFor([&] { return patterns.size() >= n; });
    }

    // Read after the runner has shut down.
    Texts patterns, locations;
    int max_running = 0;
    bool list_borrowed_during_run = false, held = false;
    SearchAnswer answer;
    ResultSet results;

  private:
    ResultListModel& list_;
    int running_ = 0;
};

class RecordingView final : public SearchView, public Guarded {
  public:
    void SearchStarted() override {
        std::lock_guard lock(mutex);
        ++started;
    }
    void SearchFinished(const SearchReport& report) override {
        std::lock_guard lock(mutex);
        reports.push_back(report);
        changed.notify_all();
    }
    void WaitForReports(size_t n) {
        WaitFor([&] { return reports.size() >= n; });
    }

    int started = 0;
    std::vector<SearchReport> reports;
};

class SearchRunnerTest : public ::testing::Test {
  protected:
    void TearDown() override {
        query_.Hold(false);
        runner_.Shutdown();
    }
    // Runs `during` while the first search, of `first`, is held inside its query.
    template <class During>
    void WhileHeld(const std::u16string& first, const std::u16string& location, During during) {
        query_.Hold(true);
        runner_.StartSearch(first, location);
        query_.WaitForRuns(1);
        during();
        query_.Hold(false);
        runner_.JoinWorkers();
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
    WhileHeld(u"x", u"My Computer", [&] {
        for (const char16_t* typed : {u"a", u"aB", u"aBc"})
            runner_.EditChanged(typed, u"My Computer");
    });
    EXPECT_EQ(after_search_, 1);
    query_.Hold(true);
    runner_.EditChanged(u"\u00c4bc", u"My Computer");  // idle: this edit starts a worker
    query_.WaitForRuns(3);
    runner_.EditChanged(u"\u00e4BC", u"My Computer");  // Unicode case, not only A-Z
    query_.Hold(false);
    runner_.JoinWorkers();
    EXPECT_EQ(query_.patterns, (Texts{u"x", u"abc", u"\u00e4bc"}));
    EXPECT_EQ(query_.max_running, 1);
    // The list let go of the previous records before each query rebuilt them.
    EXPECT_FALSE(query_.list_borrowed_during_run);
}

TEST_F(SearchRunnerTest, EveryStartRunsItsOwnSearchOneAfterAnother) {
    WhileHeld(u"abc", u"C:\\", [&] {
        runner_.StartSearch(u"abc", u"D:\\");
        runner_.StartSearch(u"abc", u"D:\\");
        runner_.SetLocation(u"E:\\");  // neither searches nor makes the running search repeat
    });
    // Each pass takes the request as it stands when the pass begins.
    EXPECT_EQ(query_.locations, (Texts{u"C:\\", u"E:\\", u"E:\\"}));
    EXPECT_EQ(query_.max_running, 1);
    EXPECT_EQ(after_search_, 3);
}

TEST_F(SearchRunnerTest, AnEmptyPatternSearchesNothingOnceAndSaysSo) {
    cache_ready_ = false;
    runner_.StartSearch(u"", u"My Computer");
    runner_.JoinWorkers();
    EXPECT_EQ(query_.patterns, Texts{u";"});
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
    WhileHeld(u"a", u"My Computer", [&] {
        runner_.StartSearch(u"a", u"My Computer");
        runner_.StartSearch(u"a", u"My Computer");
        runner_.SetExitFlag();
    });
    runner_.Shutdown();
    EXPECT_EQ(view_.started, 1);
    // Triggers after the exit start workers that return at once.
    runner_.StartSearch(u"b", u"My Computer");
    runner_.Shutdown();
    EXPECT_EQ(query_.patterns.size(), 1u);
}

}  // namespace
}  // namespace corvella
