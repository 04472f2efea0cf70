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

// A folder subtree one thread walks, what its counting walk came to, and where its records go.
// Its path is its parent's, one of the plan's few split folders, and its own name: a plan holds
// one path per split folder rather than one per task.
struct CQueryer::PartTask {
    uint32_t record_offset = 0;  // the folder's entry in its parent's block
    uint32_t block = 0;
    uint32_t parent = 0;  // in the plan's folder paths
    uint32_t name_offset = 0, name_units = 0;
    int depth = 0;  // the depth of the entries in its block

    uint64_t count_records = 0, count_chars = 0;
    uint64_t total_size_kb = 0;  // of the records taken
    uint64_t subtree_kb = 0;     // of everything below the folder
    size_t peak_at_enter = 0;
    bool damaged = false;

    size_t dest_record = 0, dest_pool = 0;  // its run's start in the answer
};

// The tasks, sorted by their entries' offsets, and the paths of the folders split to make them.
struct CQueryer::PartPlan {
    std::vector<PartTask> tasks;
    std::vector<std::u16string> folders;  // each with its separator; the start's first
};

// The subtrees, sorted by their entries' offsets, for the merging walk to find as it meets
// those entries.
struct CQueryer::PartSplice {
    std::vector<PartTask>& tasks;
    size_t spliced = 0;

    PartTask* Take(uint32_t record_offset) const;
};

}  // namespace corvella
