// The walk split over the machine's threads.
//
// A query's answer is the walk of one folder tree in cache order, a folder's record after its
// subtree with the subtree's total, so the tree splits cleanly at folders: a subtree's records
// are one contiguous run of the answer, and all its parent needs from it is its total.
//
// The plan reads the top of the tree level by level, replacing each folder that has subfolders
// by those subfolders, until there are enough pieces (sixteen per thread, so that one large
// subtree does not leave the other threads idle) or the tree is exhausted. Every folder left is a
// task. Each thread owns a walker, a queryer with this query's settings and the same view, and
// takes task after task from a shared counter. The calling thread is a walker too, so a system
// that refuses threads only makes the split slower.
//
// Two rounds, each the walkers' then the merging walk's, on the calling thread, which walks the
// tree as usual but does not enter a task's folder: it takes the task's figures and then the
// folder's own record with the task's total. The counting round counts every task's records and
// characters, and the merging count lays the answer out: each run starts where the count stands
// when its folder is met. A bare count ends there. Otherwise the answer's arrays are sized once,
// exactly, and the filling round writes every run in place, the walkers theirs and the merging
// walk what lies above the tasks. Nothing is copied and no memory is held twice, and every record
// is made by the same code, in the same order, with the same totals, as on one thread.
//
// Where the split could differ, the walk on one thread answers instead:
//   - Damaged files: the walk enters no block twice, and which of two routes to a block gets it
//     depends on the order of the walk. All walkers of a round mark one shared bitmap; a block
//     found marked means some block has two routes, and the split is given up. When nothing is
//     marked twice, every route was free, as it is on one thread.
//   - Capacities: the walk on one thread gives up its first walk for the counting route when the
//     records pass the capacities, or when too many are held as a folder is entered; the counts
//     note the most records held at any folder, and `counted()` says what that walk would have.
//   - Memory: a walker out of memory, or a text pool past what 32-bit offsets reach.
//   - A filling walk that does not fill its run exactly (the file is read-only and held, so this
//     would be a fault of the walk, not of the file).
#include "search/parallel_walk.h"

#include <algorithm>
#include <exception>
#include <new>
#include <system_error>
#include <thread>

#include "cache/block_reader.h"

namespace corvella {

namespace {

constexpr size_t kTasksPerThread = 16;
constexpr int kMaxPlanLevels = 8;
// A level past this many folders (a folder with a great many subfolders) is not split further:
// the tasks would cost more to hold than they save.
constexpr size_t kMaxTasks = 8192;
constexpr unsigned kMaxThreads = 64;
constexpr size_t kMaxPoolChars = 0xFFFFFFFFu;  // pool offsets are 32-bit

// Threads joined when the scope ends, however it ends.
class JoinedThreads {
  public:
    JoinedThreads() = default;
    JoinedThreads(const JoinedThreads&) = delete;
    JoinedThreads& operator=(const JoinedThreads&) = delete;
    ~JoinedThreads() {
        for (std::thread& t : threads_) t.join();
    }

    // Runs `work` on a new thread; false when none could be had.
    template <typename Work>
    bool Start(Work work) {
        try {
            threads_.reserve(threads_.size() + 1);
            threads_.emplace_back(std::move(work));
            return true;
        } catch (const std::system_error&) {
            return false;
        } catch (const std::bad_alloc&) {
            return false;
        }
    }

  private:
    std::vector<std::thread> threads_;
};

}  // namespace

unsigned CQueryer::MachineThreads() {
    const unsigned threads = std::thread::hardware_concurrency();
    return threads == 0 ? 1 : std::min(threads, kMaxThreads);
}

CQueryer::PartTask* CQueryer::PartSplice::Take(uint32_t record_offset) const {
    const auto it = std::lower_bound(
        tasks.begin(), tasks.end(), record_offset,
        [](const PartTask& task, uint32_t offset) { return task.record_offset < offset; });
    if (it == tasks.end() || it->record_offset != record_offset) return nullptr;
    return &*it;
}

std::unique_ptr<CQueryer> CQueryer::MakeWalker() const {
    auto walker = std::make_unique<CQueryer>(errors_, std::u16string(), capacities_);
    walker->min_size_kb = min_size_kb;
    walker->max_size_kb = max_size_kb;
    walker->date_from = date_from;
    walker->date_to = date_to;
    walker->separator_ = separator_;
    walker->name_filter_ = name_filter_;
    std::copy(std::begin(filters_), std::end(filters_), walker->filters_);
    walker->filter_count_ = filter_count_;
    walker->count_only_ = count_only_;
    walker->view_ = view_;
    walker->matcher_ = matcher_;
    if (!walker->pattern_.Assign(pattern_.data(), pattern_.units())) throw std::bad_alloc();
    walker->needle_ = needle_;
    walker->needle_.text = walker->pattern_.data();  // the needle is the whole pattern
    walker->hint_ = hint_;
    walker->walk_hint_ = walk_hint_ ? &walker->hint_ : nullptr;
    walker->suffixes_ = suffixes_;
    walker->by_suffix_ = by_suffix_;
    walker->min_name_units_ = min_name_units_;
    walker->shared_visited_ = shared_visited_;
    walker->collision_ = collision_;
    return walker;
}

CQueryer::PartPlan CQueryer::PlanParts(uint32_t start_block, size_t wanted) const {
    // A folder the walk could not enter is the merging walk's to report.
    const auto each_subfolder = [this](const PartTask& folder, auto&& take) {
        BlockReader reader(view_, folder.block);
        EntryView e;
        while (reader.NextEntry(e))
            if (e.IsFolder() && e.value >= kFirstBlockOffset && e.value < view_.size) take(e);
    };
    PartPlan plan;
    plan.folders.push_back(base_path_);
    std::vector<PartTask> level(1);
    level[0].block = start_block;
    level[0].depth = 1;
    for (int round = 0; round < kMaxPlanLevels && level.size() < wanted; ++round) {
        // Bounded first and laid out once: all of it is memory new to the process, whose pages
        // cost a trap each on their first touch. A folder gives its subfolders or at most itself.
        size_t count = 0;
        for (const PartTask& folder : level) {
            size_t subfolders = 0;
            each_subfolder(folder, [&](const EntryView&) { ++subfolders; });
            count += std::max<size_t>(subfolders, 1);
            if (count > kMaxTasks) break;
        }
        std::vector<PartTask> below;
        below.reserve(count);
        bool split = false;
        for (const PartTask& folder : level) {
            const size_t first = below.size();
            uint32_t parent = 0;  // the start's path is the plan's first
            each_subfolder(folder, [&](const EntryView& e) {
                if (below.size() == first && folder.depth > 1) {
                    parent = static_cast<uint32_t>(plan.folders.size());
                    plan.folders.emplace_back();
                    PathOf(plan, folder, plan.folders.back());
                }
                PartTask task;
                task.record_offset = e.record_offset;
                task.block = e.value;
                task.parent = parent;
                task.name_offset = e.name_offset;
                task.name_units = e.name_units;
                task.depth = folder.depth + 1;
                below.push_back(task);
            });
            if (below.size() > first) {
                split = true;
            } else if (folder.depth > 1) {
                below.push_back(folder);  // no subfolders: a task as it is
            }
            if (below.size() > kMaxTasks) break;
        }
        // The start folder's subfolders are taken however many they are (one block's worth).
        const bool too_many = below.size() > kMaxTasks && level[0].depth > 1;
        if (!split || too_many) break;
        level = std::move(below);
    }
    if (level.size() == 1 && level[0].depth == 1) level.clear();  // the start has no subfolders
    std::sort(level.begin(), level.end(), [](const PartTask& a, const PartTask& b) {
        return a.record_offset < b.record_offset;
    });
    plan.tasks = std::move(level);
    return plan;
}

void CQueryer::PathOf(const PartPlan& plan, const PartTask& task, std::u16string& to) const {
    to = plan.folders[task.parent];
    AppendName(to, task.name_offset, task.name_units);
    if (to.empty() || to.back() != separator_) to += separator_;
}

void CQueryer::RunWalkers(std::vector<std::unique_ptr<CQueryer>>& walkers, PartPlan& plan,
                          const FillTarget* fill, std::atomic<bool>& failed) {
    std::atomic<size_t> next{0};
    JoinedThreads threads;  // joined before the walkers and the tasks can go
    for (size_t w = 1; w < walkers.size(); ++w)
        threads.Start([&, w] { walkers[w]->WalkTasks(plan, next, fill, failed); });
    walkers[0]->WalkTasks(plan, next, fill, failed);
}

void CQueryer::WalkTasks(PartPlan& plan, std::atomic<size_t>& next, const FillTarget* fill,
                         std::atomic<bool>& failed) {
    // Nothing may leave a thread by an exception: a walker that fails stops the others early,
    // and the walk on one thread answers.
    try {
        for (;;) {
            if (failed.load(std::memory_order_relaxed)) return;
            const size_t i = next.fetch_add(1, std::memory_order_relaxed);
            if (i >= plan.tasks.size()) return;
            PartTask& task = plan.tasks[i];
            PathOf(plan, task, base_path_);
            depth_base_ = task.depth - 1;
            count_records_ = count_chars_ = 0;
            total_size_kb_ = 0;
            subtree_kb_ = 0;
            peak_at_enter_ = 0;
            damaged_ = overflow_ = false;
            if (!fill) {
                Traverse<Walk::Count>(task.block);
                task.count_records = count_records_;
                task.count_chars = count_chars_;
                task.total_size_kb = total_size_kb_;
                task.subtree_kb = subtree_kb_;
                task.peak_at_enter = peak_at_enter_;
                task.damaged = damaged_;
                continue;
            }
            // The counted totals were sized into memory before the fill: they fit in size_t.
            fill_ = FillTarget{fill->records,
                               fill->pool,
                               static_cast<size_t>(task.dest_record),
                               static_cast<size_t>(task.dest_record + task.count_records),
                               static_cast<size_t>(task.dest_pool),
                               static_cast<size_t>(task.dest_pool + task.count_chars)};
            Traverse<Walk::All>(task.block);
            if (overflow_ || fill_.record_at != fill_.record_end || fill_.pool_at != fill_.pool_end)
                failed.store(true);
        }
    } catch (const std::exception&) {
        failed.store(true);
    }
}

template <CQueryer::Walk kWalk>
void CQueryer::Splice(Frame& frame, const EntryView& e, PartTask& task) {
    if constexpr (kWalk == Walk::Count) {
        // The counting walk lays the answer out: the run starts where the count stands.
        peak_at_enter_ = std::max<size_t>(peak_at_enter_, count_records_ + task.peak_at_enter);
        task.dest_record = count_records_;
        task.dest_pool = count_chars_;
        count_records_ += task.count_records;
        count_chars_ += task.count_chars;
    } else {
        // The filling walk steps over the run its walker wrote.
        if (fill_.record_at != task.dest_record || fill_.pool_at != task.dest_pool)
            overflow_ = true;
        fill_.record_at = task.dest_record + task.count_records;
        fill_.pool_at = task.dest_pool + task.count_chars;
    }
    total_size_kb_ += task.total_size_kb;
    damaged_ = damaged_ || task.damaged;
    ++splice_->spliced;
    // The folder's own record, after its subtree, as the walk takes it when it leaves a folder.
    TakeFolder<kWalk>(frame.path_length, e.name_offset, e.name_units, e.last_write,
                      task.subtree_kb);
    frame.sum_kb += task.subtree_kb;
}

template void CQueryer::Splice<CQueryer::Walk::All>(Frame&, const EntryView&, PartTask&);
template void CQueryer::Splice<CQueryer::Walk::Count>(Frame&, const EntryView&, PartTask&);

bool CQueryer::WalkInParts(uint32_t start_block) {
    std::atomic<bool> collision{false};
    std::atomic<bool> failed{false};
    const ScopeExit detach([this] {
        shared_visited_ = nullptr;
        collision_ = nullptr;
        splice_ = nullptr;
        fill_ = FillTarget{};
        overflow_ = false;
    });
    const auto give_up = [this] {
        results_.Clear();
        total_size_kb_ = 0;
        count_records_ = count_chars_ = 0;
        damaged_ = false;
        counted_ = false;
        return false;
    };
    try {
        PartPlan plan = PlanParts(start_block, kTasksPerThread * walk_threads_);
        std::vector<PartTask>& tasks = plan.tasks;
        if (tasks.empty()) return false;
        visited_.Clear(view_.size);
        shared_visited_ = &visited_;
        collision_ = &collision;
        std::vector<std::unique_ptr<CQueryer>> walkers;
        const size_t count = std::min<size_t>(walk_threads_, tasks.size());
        for (size_t w = 0; w < count; ++w) walkers.push_back(MakeWalker());

        // The subtrees counted, then the whole counted with them in place.
        RunWalkers(walkers, plan, nullptr, failed);
        if (failed.load() || collision.load()) return give_up();
        PartSplice splice{tasks};
        splice_ = &splice;
        peak_at_enter_ = 0;
        Traverse<Walk::Count>(start_block);
        if (collision.load() || splice.spliced != tasks.size()) return give_up();
        if (count_only_) return true;

        // The walk on one thread gives up its first walk for the counting route past the
        // capacities, or as a folder is entered with too many records held.
        counted_ = peak_at_enter_ > capacities_.records - capacities_.record_slack ||
                   count_records_ > capacities_.records || count_chars_ > capacities_.pool_chars;
        if (count_chars_ > kMaxPoolChars) return give_up();
        results_.records.resize(count_records_);
        results_.pool.resize(count_chars_);

        // Each walker fills its subtrees' runs; the merging walk fills what lies above them.
        visited_.Clear(view_.size);
        const FillTarget answer{
            results_.records.data(), results_.pool.data(), 0, results_.records.size(), 0,
            results_.pool.size()};
        RunWalkers(walkers, plan, &answer, failed);
        if (failed.load() || collision.load()) return give_up();
        splice.spliced = 0;
        total_size_kb_ = 0;
        damaged_ = false;
        fill_ = answer;
        overflow_ = false;
        Traverse<Walk::All>(start_block);
        if (collision.load() || overflow_ || splice.spliced != tasks.size() ||
            fill_.record_at != fill_.record_end || fill_.pool_at != fill_.pool_end)
            return give_up();
    } catch (const std::bad_alloc&) {
        return give_up();
    }
    return true;
}

}  // namespace corvella
