// One seam for answering a search: the walk of the mapped cache file, or the in-memory index.
//
// IndexedEngine answers from its NameIndex only while the index agrees with the file: its
// generation is the process's cache generation (every writer here bumps it under CacheFileLock)
// and the file's stamp (which file, size, times) is the one it was read from, which is what a
// writer in another process changes. Otherwise the walk answers, so a change is searchable as
// soon as it is applied, and a new index is built on a thread of its own. The index never
// answers for a file it was not read from; each answer names the generation it came from.
//
// An index is read from a copy of the file's bytes, taken under CacheFileLock: the file stays
// open only as long as a walk keeps it, so a build or an apply of this process never finds it
// held, and the index is then made without holding up the watchers. A write after the copy
// changes the generation or the stamp, and the new index is thrown away. A file the walk would
// call damaged gets no index until it changes.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "cache/sinks.h"
#include "platform/file.h"
#include "results/result_set.h"
#include "search/name_index.h"
#include "search/queryer.h"
#include "search/search_criteria.h"

namespace corvella {

struct EngineAnswer {
    QueryOutcome outcome = QueryOutcome::Done;
    bool damaged = false;  // the walk met a damaged file and answered what it could read
    bool from_index = false;
    uint64_t generation = 0;  // the cache generation the answer was computed from
    uint64_t matches = 0;
    uint64_t total_size_kb = 0;
    uint32_t start_ticks = 0;
    uint32_t end_ticks = 0;
    // Empty for a bare count; valid until the next query. A listing from the index is pending
    // (result_set.h).
    ResultSet* results = nullptr;
};

class SearchEngine {
  public:
    virtual ~SearchEngine() = default;
    // One query: the criteria's pattern as typed (QueryPattern folds it), its location as
    // typed. Callers may hold SearchLock, never CacheFileLock.
    virtual EngineAnswer Run(const SearchCriteria& criteria, bool count_only) = 0;
};

// The walk of the file, with the queryer's threads and separator.
class WalkEngine final : public SearchEngine {
  public:
    explicit WalkEngine(CQueryer& queryer) : queryer_(queryer) {}
    EngineAnswer Run(const SearchCriteria& criteria, bool count_only) override;

  private:
    CQueryer& queryer_;
};

class IndexedEngine final : public SearchEngine {
  public:
    // `walk` answers while there is no current index; `separator` and `threads` should be its own.
    IndexedEngine(ErrorSink& errors, std::u16string cache_path, CQueryer& walk, char16_t separator,
                  unsigned threads);
    ~IndexedEngine() override;
    IndexedEngine(const IndexedEngine&) = delete;
    IndexedEngine& operator=(const IndexedEngine&) = delete;

    enum class Refresh { Built, Current, Damaged, Unreadable, Changed, OutOfMemory };
    // Reads a new index on this thread unless the one held is current.
    Refresh RefreshNow();
    // From now on a query that finds the index missing or stale starts a RefreshNow on a
    // thread of its own (one at a time); also starts one at once.
    void RefreshInBackground();
    // Whether the index agrees with the file now.
    bool IndexCurrent();
    // The bytes the index holds, and its entries and distinct names; zeros without one.
    struct IndexSize {
        size_t bytes = 0, entries = 0, names = 0;
    };
    IndexSize SizeOfIndex();

    // How the index finds a query's entries (NameIndex::Route); set before queries run.
    void SetRoute(NameIndex::Route route) { route_ = route; }
    EngineAnswer Run(const SearchCriteria& criteria, bool count_only) override;

  private:
    struct Snapshot {
        // Null: the file was damaged at this generation, or memory ran out reading it.
        std::shared_ptr<const NameIndex> index;
        uint64_t generation = 0;
        platform::FileStamp stamp;
    };
    bool FileUnchangedSince(const Snapshot& snapshot) const;
    std::shared_ptr<const Snapshot> CurrentSnapshot();
    void StartBuilder();

    ErrorSink& errors_;
    std::u16string cache_path_;
    WalkEngine walk_;
    char16_t separator_;
    unsigned threads_;
    NameIndex::Route route_ = NameIndex::Route::Choose;

    std::mutex snapshot_lock_;
    std::shared_ptr<const Snapshot> snapshot_;
    // The last answer's memory, which the next query writes over; a listing pending on the
    // index it came from keeps that index alive until then.
    ResultSet results_;
    NameIndex::Workspace work_;

    std::mutex builder_lock_;
    std::thread builder_;
    std::atomic<bool> building_{false};
    std::atomic<bool> background_{false};
};

}  // namespace corvella
