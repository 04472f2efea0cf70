#include "search/search_engine.h"

#include <algorithm>
#include <new>
#include <system_error>
#include <vector>

#include "cache/cache_shared.h"
#include "platform/ticks.h"

namespace corvella {

EngineAnswer WalkEngine::Run(const SearchCriteria& criteria, bool count_only) {
    EngineAnswer answer;
    queryer_.SetCountOnly(count_only);
    BuildFilterChain(queryer_, criteria);
    {
        std::lock_guard lock(CCacheShared::Instance().CacheFileLock());
        answer.generation = CCacheShared::Instance().Generation();
        answer.outcome = queryer_.RunQuery(QueryPattern(criteria.pattern), criteria.location);
    }
    queryer_.ClearFilters();
    answer.damaged = queryer_.damaged();
    answer.matches = queryer_.match_count();
    answer.total_size_kb = queryer_.total_size_kb();
    answer.start_ticks = queryer_.start_ticks();
    answer.end_ticks = queryer_.end_ticks();
    answer.results = &queryer_.results();
    return answer;
}

IndexedEngine::IndexedEngine(ErrorSink& errors, std::u16string cache_path, CQueryer& walk,
                             char16_t separator, unsigned threads)
    : errors_(errors),
      cache_path_(std::move(cache_path)),
      walk_(walk),
      separator_(separator),
      threads_(threads == 0 ? 1 : threads) {}

IndexedEngine::~IndexedEngine() {
    background_ = false;
    std::lock_guard lock(builder_lock_);
    if (builder_.joinable()) builder_.join();
}

// Under CacheFileLock: whether the file is still the one read at `generation` with `stamp`.
bool IndexedEngine::FileUnchangedSince(const Snapshot& snapshot) const {
    return snapshot.generation == CCacheShared::Instance().Generation() &&
           snapshot.stamp == platform::StampOf(cache_path_);
}

// Under CacheFileLock: the snapshot read from the file as it is now (its index may be null,
// for a damaged file), or null.
std::shared_ptr<const IndexedEngine::Snapshot> IndexedEngine::CurrentSnapshot() {
    std::shared_ptr<const Snapshot> snapshot;
    {
        std::lock_guard lock(snapshot_lock_);
        snapshot = snapshot_;
    }
    if (!snapshot || !FileUnchangedSince(*snapshot)) return nullptr;
    return snapshot;
}

bool IndexedEngine::IndexCurrent() {
    std::lock_guard lock(CCacheShared::Instance().CacheFileLock());
    const auto snapshot = CurrentSnapshot();
    return snapshot && snapshot->index;
}

IndexedEngine::IndexSize IndexedEngine::SizeOfIndex() {
    std::lock_guard lock(snapshot_lock_);
    if (!snapshot_ || !snapshot_->index) return {};
    const NameIndex& index = *snapshot_->index;
    return {index.MemoryBytes(), index.entries(), index.distinct_names()};
}

IndexedEngine::Refresh IndexedEngine::RefreshNow() {
    std::recursive_mutex& cache_lock = CCacheShared::Instance().CacheFileLock();
    auto fresh = std::make_shared<Snapshot>();
    std::vector<uint8_t> bytes;
    try {
        std::lock_guard lock(cache_lock);
        if (const auto held = CurrentSnapshot())
            return held->index ? Refresh::Current : Refresh::Damaged;
        fresh->generation = CCacheShared::Instance().Generation();
        fresh->stamp = platform::StampOf(cache_path_);
        platform::MappedFile file;
        if (file.OpenExisting(cache_path_, platform::MappedFile::Access::ReadOnly) !=
            platform::MapStep::Done)
            return Refresh::Unreadable;
        // Offsets are 32-bit, as the walk reads them.
        bytes.assign(file.data(), file.data() + std::min<uint64_t>(file.size(), kMaxCacheBytes));
    } catch (const std::bad_alloc&) {
        return Refresh::OutOfMemory;
    }
    NameIndex::BuildOutcome built = NameIndex::BuildOutcome::Damaged;
    bool out_of_memory = false;
    try {
        fresh->index = NameIndex::Build(CacheView{bytes.data(), uint32_t(bytes.size())}, built);
    } catch (const std::bad_alloc&) {
        out_of_memory = true;  // kept as a file without index: not tried again until it changes
    }
    bytes = {};
    std::lock_guard lock(cache_lock);
    // Written since it was copied: a newer index is wanted.
    if (!FileUnchangedSince(*fresh)) return Refresh::Changed;
    std::lock_guard hold(snapshot_lock_);
    snapshot_ = std::move(fresh);
    if (out_of_memory) return Refresh::OutOfMemory;
    return built == NameIndex::BuildOutcome::Built ? Refresh::Built : Refresh::Damaged;
}

void IndexedEngine::StartBuilder() {
    if (building_.exchange(true)) return;
    std::lock_guard lock(builder_lock_);
    if (builder_.joinable()) builder_.join();  // the last one has finished: it cleared the flag
    if (!background_) {
        building_ = false;
        return;
    }
    try {
        builder_ = std::thread([this] {
            RefreshNow();
            building_ = false;
        });
    } catch (const std::system_error&) {
        building_ = false;
    }
}

void IndexedEngine::RefreshInBackground() {
    background_ = true;
    StartBuilder();
}

EngineAnswer IndexedEngine::Run(const SearchCriteria& criteria, bool count_only) {
    std::shared_ptr<const Snapshot> snapshot;
    {
        std::lock_guard lock(CCacheShared::Instance().CacheFileLock());
        snapshot = CurrentSnapshot();
    }
    if (!snapshot || !snapshot->index) {
        if (!snapshot && background_) StartBuilder();
        return walk_.Run(criteria, count_only);
    }
    EngineAnswer answer;
    answer.from_index = true;
    answer.generation = snapshot->generation;
    answer.results = &results_;
    answer.start_ticks = platform::TickCountMs();
    try {
        const NameIndex::Answer found =
            snapshot->index->Run(criteria, QueryPattern(criteria.pattern), criteria.location,
                                 separator_, count_only, threads_, results_, work_, route_);
        answer.outcome = found.outcome;
        answer.matches = found.matches;
        answer.total_size_kb = found.total_size_kb;
    } catch (const std::bad_alloc&) {
        results_.Clear();
        work_.Release();
        errors_.ShowError(kOutOfMemory);
        answer.outcome = QueryOutcome::Failed;
    }
    answer.end_ticks = platform::TickCountMs();
    return answer;
}

}  // namespace corvella
