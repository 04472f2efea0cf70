#include "search/search_runner.h"

#include <system_error>

#include "cache/cache_shared.h"
#include "platform/case_fold.h"
#include "results/list_texts.h"

namespace corvella {

SearchAnswer QueryerSearch::Run(const std::u16string& pattern, const std::u16string& location) {
    SearchCriteria criteria = criteria_();
    criteria.pattern = pattern;  // already folded: folding again changes nothing
    criteria.location = location;
    const EngineAnswer found = engine_.Run(criteria, /*count_only=*/false);
    SearchAnswer answer;
    answer.outcome = found.outcome;
    answer.results = found.results;
    answer.total_size_kb = found.total_size_kb;
    answer.start_ticks = found.start_ticks;
    answer.end_ticks = found.end_ticks;
    return answer;
}

SearchRunner::SearchRunner(SearchQuery& query, ResultListModel& list, SearchView& view,
                           const std::atomic<bool>& cache_ready, std::function<void()> after_search)
    : query_(query),
      list_(list),
      view_(view),
      cache_ready_(cache_ready),
      after_search_(std::move(after_search)) {}

SearchRunner::~SearchRunner() {
    Shutdown();
}

void SearchRunner::StartSearch(const std::u16string& pattern, const std::u16string& location) {
    {
        std::lock_guard lock(request_lock_);
        pattern_ = pattern;
        location_ = location;
    }
    Launch();
}

void SearchRunner::EditChanged(const std::u16string& pattern, const std::u16string& location) {
    {
        std::lock_guard lock(request_lock_);
        pattern_ = pattern;
        location_ = location;
    }
    // The signal taken here is given back by the worker when it is idle; a worker that could not
    // be started gives it back at once, or no edit would ever search again.
    if (idle_.Wait(std::chrono::milliseconds(0)) && !Launch()) idle_.Set();
}

void SearchRunner::SetLocation(const std::u16string& location) {
    std::lock_guard lock(request_lock_);
    location_ = location;
}

void SearchRunner::Shutdown(std::chrono::milliseconds wait) {
    SetExitFlag();
    idle_.Wait(wait);
    JoinWorkers();
    // Nothing searches now; a second shutdown must not wait for a signal the first one took.
    idle_.Set();
}

void SearchRunner::JoinWorkers() {
    std::vector<Worker> workers;
    {
        std::lock_guard lock(workers_lock_);
        workers.swap(workers_);
    }
    for (Worker& w : workers) w.thread.join();
}

bool SearchRunner::Launch() {
    std::lock_guard lock(workers_lock_);
    // Finished workers are joined as new ones start, so a long session does not collect them.
    for (auto it = workers_.begin(); it != workers_.end();) {
        if (it->done->load()) {
            it->thread.join();
            it = workers_.erase(it);
        } else {
            ++it;
        }
    }
    auto done = std::make_shared<std::atomic<bool>>(false);
    workers_.reserve(workers_.size() + 1);  // nothing may throw once the thread runs
    std::thread thread;
    try {
        thread = std::thread([this, done] {
            Work();
            done->store(true);
        });
    } catch (const std::system_error&) {
        return false;
    }
    workers_.push_back({std::move(thread), std::move(done)});
    return true;
}

std::u16string SearchRunner::RequestedPattern() {
    std::lock_guard lock(request_lock_);
    return pattern_;
}

void SearchRunner::Work() {
    std::lock_guard search(CCacheShared::Instance().SearchLock());
    // A thread may not end holding a mutex, so returning releases SearchLock; the flag stops
    // every later worker here all the same.
    if (exit_.load()) return;
    bool again = false;
    do {
        std::u16string pattern, location;
        {
            std::lock_guard lock(request_lock_);
            pattern = pattern_;
            location = location_;
        }
        idle_.Reset();
        const bool empty = pattern.empty();
        const std::u16string searched = QueryPattern(pattern);  // ";" matches nothing
        Pass(searched, location);
        // An empty pattern never equals the ";" it searched: it must not loop.
        again = !empty && FoldCaseCopy(RequestedPattern()) != searched;
    } while (again);
    idle_.Set();
    if (after_search_) after_search_();
}

void SearchRunner::Pass(const std::u16string& pattern, const std::u16string& location) {
    // The query rebuilds the previous records: the list lets go of them first.
    list_.SetListMode(ListMode::Searching);
    list_.SetResults(nullptr);
    view_.SearchStarted();

    const SearchAnswer answer = query_.Run(pattern, location);
    const bool failed = answer.outcome == QueryOutcome::Failed;  // what the results hold then is not this search's
    SearchReport report;
    report.records = failed || !answer.results ? 0 : answer.results->size();
    if (report.records > 0) {
        list_.SetListMode(ListMode::Results);
        list_.SetResults(answer.results);
        report.item_count = report.records;
    } else {
        list_.SetListMode(cache_ready_.load() ? ListMode::NoResults : ListMode::CacheBuilding);
        list_.SetResults(nullptr);
        report.item_count = 1;
    }
    report.status = answer.outcome == QueryOutcome::NoSuchLocation
                        ? std::u16string(kInvalidLocationStatus)
                        : SearchStatusText(report.records, failed ? 0 : answer.total_size_kb,
                                           answer.start_ticks, answer.end_ticks);
    view_.SearchFinished(report);
}

}  // namespace corvella
