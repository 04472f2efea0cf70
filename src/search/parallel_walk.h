// The pieces of a split walk that the queryer's walk and the split share (see parallel_walk.cpp).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "search/queryer.h"

namespace corvella {

// Runs `action` when the scope ends, by whichever return.
template <typename Action>
class ScopeExit {
  public:
    explicit ScopeExit(Action action) : action_(std::move(action)) {}
    ~ScopeExit() { action_(); }
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;

  private:
    Action action_;
};

// A folder subtree one thread walks, and what that walk came to.
struct CQueryer::PartTask {
    uint32_t record_offset = 0;  // the folder's entry in its parent's block
    uint32_t block = 0;
    std::u16string path;  // the folder's path, with its separator
    int depth = 0;        // the depth of the entries in its block

    size_t walker = 0;  // whose results hold its records
    size_t records_begin = 0, records_end = 0;
    size_t pool_begin = 0, pool_end = 0;
    uint64_t count_records = 0, count_chars = 0;
    uint64_t total_size_kb = 0;  // of the records taken
    uint64_t subtree_kb = 0;     // of everything below the folder
    size_t peak_at_enter = 0;    // relative to records_begin
    bool damaged = false;
    bool overflow = false;
};

// The finished subtrees, sorted by their entries' offsets, for the merging walk to find as it
// meets those entries.
struct CQueryer::PartSplice {
    const std::vector<PartTask>& tasks;
    const std::vector<std::unique_ptr<CQueryer>>& walkers;
    size_t spliced = 0;

    const PartTask* Take(uint32_t record_offset) const;
};

}  // namespace corvella
