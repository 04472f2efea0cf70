// CQueryer answers one search over the mapped cache file.
//
// It maps the file read-only, finds the block of the search location, and walks every record
// below it depth-first with an explicit stack, running each entry through a chain of tests and
// keeping those that pass as ResultRecords. A folder's size is the total of the files below it,
// so a folder's own record is taken when its subtree is done: records come in cache order, a
// folder after everything inside it.
//
// Capacities: the first walk fills arrays reserved at full size (600,000 records, 68,900,000
// characters), which cost memory only where they are written. It gives up before either would
// overflow (and whenever more than 530,000 records exist when a folder begins); then a counting
// walk sizes the arrays exactly and a second walk fills them. Nothing is ever written past them.
//
// Threads: with SetWalkThreads above one, the walk is split into folder subtrees walked on that
// many threads and merged back in cache order (parallel_walk.cpp); its answer is the same as the
// walk on one thread, which still answers whenever the split cannot be sure of that.
//
// Damaged files: every block is read with the bounds-checked reader, folder offsets must lie in
// the folder area, and a block reached twice is not entered again, so a damaged file yields what
// could be read and sets damaged() instead of crashing or looping.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cache/block_reader.h"
#include "cache/sinks.h"
#include "cache/visited_blocks.h"
#include "platform/file.h"
#include "results/result_set.h"
#include "search/line_private_text.h"
#include "search/matchers.h"

namespace corvella {

struct QueryCapacities {
    size_t records = 600000;
    size_t pool_chars = 68900000;
    size_t record_slack = 70000;  // the first walk stops when a folder begins past capacity - slack
};

// What one query came to.
enum class QueryOutcome {
    Done,            // the results are the location's (or everything's, when none was named)
    NoSuchLocation,  // the location was not found: the whole cache was searched instead
    Failed,          // the cache could not be opened or memory ran out; the message was shown
};

// The tests a query's chain can hold; an entry is taken when it passes every one.
enum class QueryFilter {
    Name,      // the name matches the pattern
    TopLevel,  // the entry lies directly in the location
    MinSize,   // at least min_size_kb
    MaxSize,   // at most max_size_kb
    DateFrom,  // written at date_from or later
    DateTo,    // written at date_to or earlier
    FilesOnly,
    FoldersOnly,
};

// Whole cache lines of its own: the walkers of a split walk are queryers on other threads, and
// each reads its settings for every name while writing its counts.
class alignas(kCacheLineBytes) CQueryer {
  public:
    static constexpr int kMaxFilters = 10;

    // Searches the cache file at `cache_path`.
    CQueryer(ErrorSink& errors, std::u16string cache_path, QueryCapacities capacities = {});
    CQueryer(const CQueryer&) = delete;
    CQueryer& operator=(const CQueryer&) = delete;

    // Bounds the size and date tests compare with (KB; FILETIME, UTC, both inclusive).
    uint32_t min_size_kb = 0;
    uint32_t max_size_kb = 0;
    uint64_t date_from = 0;
    uint64_t date_to = 0;

    // Appends a test to the chain; false when the chain is full.
    bool AddFilter(QueryFilter filter);
    void ClearFilters() {
        filter_count_ = 0;
        name_filter_ = false;
    }
    // '\' for caches of Windows drives (the default there), '/' for POSIX roots.
    void SetPathSeparator(char16_t separator) { separator_ = separator; }

    // One query. `pattern` is already case-folded; `location` is trimmed here. Callers hold
    // CacheFileLock.
    QueryOutcome RunQuery(const std::u16string& pattern, std::u16string location);

    // How many threads one walk may use: 1 walks on the calling thread alone.
    void SetWalkThreads(unsigned threads) { walk_threads_ = threads == 0 ? 1 : threads; }
    // What the machine has, at least 1.
    static unsigned MachineThreads();

    // Count the matches and total their sizes without making records (for a bare count).
    void SetCountOnly(bool count_only) { count_only_ = count_only; }
    uint64_t match_count() const { return count_only_ ? count_records_ : results_.size(); }

    ResultSet& results() { return results_; }
    uint64_t total_size_kb() const { return total_size_kb_; }
    uint32_t start_ticks() const { return start_ticks_; }
    uint32_t end_ticks() const { return end_ticks_; }
    // The last query met a damaged cache file; it returned what could be read.
    bool damaged() const { return damaged_; }
    // The last query needed the counting walk (or would have, walked on one thread).
    bool counted() const { return counted_; }
    // The last query was walked in parts on several threads.
    bool walked_in_parts() const { return walked_in_parts_; }

  private:
    enum class Walk { Limited, All, Count };
    using Filter = bool (*)(const CQueryer&);
    struct Frame {
        BlockReader reader;
        size_t path_length;  // the folder's path, with its separator, is path_[0, path_length)
        uint64_t sum_kb;
        uint32_t entry_name;  // the folder entry that led here (name offset, units, time)
        uint32_t entry_units;
        uint64_t entry_time;
    };

    // Where a split walk's filling walk writes: its stretch of the answer's arrays.
    struct FillTarget {
        ResultRecord* records = nullptr;
        char16_t* pool = nullptr;
        size_t record_at = 0, record_end = 0;
        size_t pool_at = 0, pool_end = 0;
    };
    struct PartTask;    // a folder subtree one thread walks (parallel_walk.cpp)
    struct PartPlan;    // the tasks and their parents' paths
    struct PartSplice;  // the finished subtrees the merging walk puts in place

    // A queryer for one thread of a split walk: this query's settings, view and pattern.
    std::unique_ptr<CQueryer> MakeWalker() const;
    // The split walk; false when the walk on one thread must answer instead (nothing worth
    // splitting, a block reached twice, a part out of memory), with nothing of it left behind.
    bool WalkInParts(uint32_t start_block);
    PartPlan PlanParts(uint32_t start_block, size_t wanted) const;
    // A planned folder's path, with its separator, into `to`.
    void PathOf(const PartPlan& plan, const PartTask& task, std::u16string& to) const;
    static void RunWalkers(std::vector<std::unique_ptr<CQueryer>>& walkers, PartPlan& plan,
                           const FillTarget* fill, std::atomic<bool>& failed);
    void WalkTasks(PartPlan& plan, std::atomic<size_t>& next, const FillTarget* fill,
                   std::atomic<bool>& failed);
    template <Walk kWalk>
    void Splice(Frame& frame, const EntryView& e, PartTask& task);

    bool InitTraverse();
    void ReleaseTraverse() { file_.Close(); }
    bool FindLocation(std::u16string_view location, uint32_t& block, std::u16string& path);
    bool NameEquals(const EntryView& e, std::u16string_view text, bool fold) const;
    void AppendName(std::u16string& to, uint32_t name_offset, uint32_t units) const;

    template <Walk kWalk>
    bool Traverse(uint32_t start_block);
    template <Walk kWalk>
    bool Take();
    // A folder's own record, after its subtree, at its parent's path: tested by the chain with
    // the subtree's total as its size (held to 32 bits) and taken when it passes.
    template <Walk kWalk>
    bool TakeFolder(size_t parent_path_length, uint32_t name, uint32_t units, uint64_t time,
                    uint64_t sum_kb);
    bool Fill(size_t need);
    bool Enter(uint32_t block);
    // The chain: the name test, when there is one, then the other tests.
    bool RunChain() const { return NameAccepts(current_name_, current_units_) && RunOthers(); }
    // The name test alone, on a name read by the block reader (inline: run for every entry).
    bool NameAccepts(uint32_t name, uint32_t units) const {
        if (!name_filter_) return true;
        if (units < min_name_units_) return false;
        // The commonest search gets the matcher that uses the name's length and its record.
        if (matcher_ == MatchSubstring)
            return MatchSubstringInRecord(needle_, view_.base + name, units);
        if (by_suffix_) return MatchSuffixes(suffixes_, pattern_.data(), view_.base + name, units);
        return matcher_(view_.base + name, pattern_.data()) != 0;
    }
    bool RunOthers() const;

    static bool FilterTopLevel(const CQueryer& q);
    static bool FilterMinSize(const CQueryer& q);
    static bool FilterMaxSize(const CQueryer& q);
    static bool FilterDateFrom(const CQueryer& q);
    static bool FilterDateTo(const CQueryer& q);
    static bool FilterFilesOnly(const CQueryer& q);
    static bool FilterFoldersOnly(const CQueryer& q);

    ErrorSink& errors_;
    QueryCapacities capacities_;
    char16_t separator_;
    // The name test is held apart from the others and run first, since it rejects nearly
    // every entry; the tests have no effects, so their order changes no answer.
    bool name_filter_ = false;
    Filter filters_[kMaxFilters] = {};
    int filter_count_ = 0;

    std::u16string cache_path_;

    // The query in progress.
    platform::MappedFile file_;
    CacheView view_;
    Matcher matcher_ = nullptr;
    // The prepared pattern, its NULs included, read for every name: each walker of a split walk
    // holds its own copy.
    LinePrivateText pattern_;
    SubstringNeedle needle_;
    // The needle's pair, for the block reader to rule names out while it finds their ends.
    NameHint hint_;
    const NameHint* walk_hint_ = nullptr;  // &hint_ when the name test is the needle's
    SuffixSet suffixes_;                   // the tails of a glob, when by_suffix_
    bool by_suffix_ = false;
    uint32_t min_name_units_ = 0;  // names shorter than this cannot match
    std::u16string base_path_;     // the start folder's path
    std::u16string path_;          // the folder being walked, with its separator; empty at the root
    size_t path_length_ = 0;       // its length (the counting walk keeps only this)
    std::vector<Frame> stack_;
    VisitedBlocks visited_;

    // A split walk: every thread marks blocks in one bitmap, and a block found marked sets the
    // collision flag, since the walk on one thread might have met it in another order.
    unsigned walk_threads_ = 1;
    VisitedBlocks* shared_visited_ = nullptr;
    std::atomic<bool>* collision_ = nullptr;
    int depth_base_ = 0;        // the depth of the start folder's parent
    uint64_t subtree_kb_ = 0;   // the total below the start folder, once walked
    size_t peak_at_enter_ = 0;  // the most records counted as a folder was entered
    bool overflow_ = false;     // a record did not fit the limits
    FillTarget fill_;
    PartSplice* splice_ = nullptr;  // the merging walk's finished subtrees

    // The entry the chain is testing.
    uint32_t current_name_ = 0;
    uint32_t current_units_ = 0;
    uint32_t current_size_kb_ = 0;
    bool current_folder_ = false;
    uint64_t current_time_ = 0;
    int depth_ = 0;

    // Counting walk.
    uint64_t count_records_ = 0;
    uint64_t count_chars_ = 0;

    ResultSet results_;
    size_t pool_limit_ = 0;
    size_t record_limit_ = 0;
    uint64_t total_size_kb_ = 0;
    uint32_t start_ticks_ = 0;
    uint32_t end_ticks_ = 0;
    bool damaged_ = false;
    bool counted_ = false;
    bool walked_in_parts_ = false;
    bool count_only_ = false;
};

// RunQuery while holding CacheFileLock, as every caller must.
QueryOutcome RunQueryLocked(CQueryer& queryer, const std::u16string& pattern,
                            const std::u16string& location);

}  // namespace corvella
