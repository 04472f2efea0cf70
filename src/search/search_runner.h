// The search thread: every trigger records the request and starts a short-lived worker; workers
// run one at a time under SearchLock, and a worker searches again while the pattern changed
// during its search, so fast typing costs one search per finished search, not one per key.
//
// The idle event resets itself and is signalled while no worker searches. An edit of the pattern
// starts a worker only when it can take that signal without waiting: while a search runs, edits
// start nothing, and the running worker picks up the newest text when its pass ends.
//
// Before each query the list stops borrowing the previous records (the query rebuilds them), so
// nothing the user interface draws can be freed under it. The view hears of each pass on the
// worker and must not wait for the user-interface thread (the window posts to itself): the user
// interface never waits for a search.
//
// Lock order in a worker: SearchLock (whole life), the request lock (short copies), CacheFileLock
// (inside the query), the list's locks.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/event.h"
#include "results/list_model.h"
#include "results/result_set.h"
#include "search/queryer.h"
#include "search/search_criteria.h"
#include "search/search_engine.h"

namespace corvella {

// What one query answered.
struct SearchAnswer {
    QueryOutcome outcome = QueryOutcome::Done;
    ResultSet* results = nullptr;  // valid until the next query
    uint64_t total_size_kb = 0;
    uint32_t start_ticks = 0;
    uint32_t end_ticks = 0;
};

class SearchQuery {
  public:
    virtual ~SearchQuery() = default;
    // `pattern` is case-folded; `location` as the user typed it.
    virtual SearchAnswer Run(const std::u16string& pattern, const std::u16string& location) = 0;
};

// The engine's query with the criteria of the window's pages, which `criteria` reads on the
// worker as each pass begins.
class QueryerSearch final : public SearchQuery {
  public:
    QueryerSearch(SearchEngine& engine, std::function<SearchCriteria()> criteria)
        : engine_(engine), criteria_(std::move(criteria)) {}
    SearchAnswer Run(const std::u16string& pattern, const std::u16string& location) override;

  private:
    SearchEngine& engine_;
    std::function<SearchCriteria()> criteria_;
};

// What a finished pass tells the window.
struct SearchReport {
    size_t item_count = 0;  // the records, or 1 for the message row when there are none
    uint64_t records = 0;
    std::u16string status;  // the status line
};

class SearchView {
  public:
    virtual ~SearchView() = default;
    // A pass begins; the list shows its searching row: one item, redrawn.
    virtual void SearchStarted() = 0;
    // A pass ended; the list holds report.item_count items, redrawn.
    virtual void SearchFinished(const SearchReport& report) = 0;
};

class SearchRunner {
  public:
    // Made once the window is ready for searches. `cache_ready` tells a search that found
    // nothing whether the cache is complete; `after_search` runs on the worker once it is idle
    // again (Windows trims the working set there).
    SearchRunner(SearchQuery& query, ResultListModel& list, SearchView& view,
                 const std::atomic<bool>& cache_ready, std::function<void()> after_search = {});
    ~SearchRunner();
    SearchRunner(const SearchRunner&) = delete;
    SearchRunner& operator=(const SearchRunner&) = delete;

    // The Search button, Enter, a picked history entry, a quick button: always a worker.
    void StartSearch(const std::u16string& pattern, const std::u16string& location);
    // The pattern box edited: a worker only when none is searching.
    void EditChanged(const std::u16string& pattern, const std::u16string& location);
    // The location box edited: the next search uses it.
    void SetLocation(const std::u16string& location);

    // From now on workers that have not begun return without searching.
    void SetExitFlag() { exit_.store(true); }
    // Sets the exit flag, gives a running search `wait` to finish, then waits for every worker
    // (a search that is still running cannot be cut short, so that wait may be longer).
    void Shutdown(std::chrono::milliseconds wait = std::chrono::milliseconds(3000));
    // Waits until every worker started so far has ended, searches included.
    void JoinWorkers();

  private:
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };

    bool Launch();
    void Work();
    void Pass(const std::u16string& pattern, const std::u16string& location);
    std::u16string RequestedPattern();

    SearchQuery& query_;
    ResultListModel& list_;
    SearchView& view_;
    const std::atomic<bool>& cache_ready_;
    std::function<void()> after_search_;

    std::mutex request_lock_;
    std::u16string pattern_;
    std::u16string location_ = u"My Computer";

    platform::Event idle_{true};
    std::atomic<bool> exit_{false};

    std::mutex workers_lock_;
    std::vector<Worker> workers_;
};

}  // namespace corvella
