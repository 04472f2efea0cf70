#include "search/queryer.h"

#include <algorithm>
#include <iterator>
#include <mutex>
#include <new>

#include "cache/cache_shared.h"
#include "platform/case_fold.h"
#include "platform/drives.h"
#include "platform/text.h"
#include "platform/ticks.h"
#include "search/location_lookup.h"
#include "search/parallel_walk.h"

namespace corvella {

namespace {

// A record's texts in the pool: its location and its name, each with its NUL. Linear in the
// name's units, so a run of names in one folder sums as one.
size_t RecordTextUnits(size_t path_length, size_t name_units) {
    return path_length + 1 + name_units + 1;
}

// The reader's hint for a glob's tails, when they fit one.
bool TailHint(const SuffixSet& set, const char16_t* prepared, NameHint& hint) {
    hint = NameHint{};
    hint.whole = true;  // a name that ends with a tail matches
    for (uint32_t t = 0; t < set.count; ++t)
        if (!hint.AddTail(std::u16string_view(prepared + set.tails[t].at, set.tails[t].units)))
            return false;
    return set.count != 0;
}

}  // namespace

CQueryer::CQueryer(ErrorSink& errors, std::u16string cache_path, QueryCapacities capacities)
    : errors_(errors),
      capacities_(capacities),
      separator_(platform::kPathSeparator),
      cache_path_(std::move(cache_path)) {}

bool CQueryer::AddFilter(QueryFilter filter) {
    // In the order of QueryFilter; the name test is held apart.
    static constexpr Filter kFilters[] = {nullptr,         FilterTopLevel,   FilterMinSize,
                                          FilterMaxSize,   FilterDateFrom,   FilterDateTo,
                                          FilterFilesOnly, FilterFoldersOnly};
    const size_t index = static_cast<size_t>(filter);
    if (index >= std::size(kFilters) || filter_count_ + (name_filter_ ? 1 : 0) >= kMaxFilters)
        return false;
    if (filter == QueryFilter::Name)
        name_filter_ = true;
    else
        filters_[filter_count_++] = kFilters[index];
    return true;
}

bool CQueryer::FilterTopLevel(const CQueryer& q) {
    return q.depth_ == 1;
}
bool CQueryer::FilterMinSize(const CQueryer& q) {
    return q.current_size_kb_ >= q.min_size_kb;
}
bool CQueryer::FilterMaxSize(const CQueryer& q) {
    return q.max_size_kb >= q.current_size_kb_;
}
bool CQueryer::FilterDateFrom(const CQueryer& q) {
    return q.current_time_ >= q.date_from;
}
bool CQueryer::FilterDateTo(const CQueryer& q) {
    return q.current_time_ <= q.date_to;
}
bool CQueryer::FilterFilesOnly(const CQueryer& q) {
    return !q.current_folder_;
}
bool CQueryer::FilterFoldersOnly(const CQueryer& q) {
    return q.current_folder_;
}

bool CQueryer::RunOthers() const {
    for (int i = 0; i < filter_count_; ++i)
        if (!filters_[i](*this)) return false;
    return true;
}

bool CQueryer::InitTraverse() {
    const char16_t* message = nullptr;
    switch (file_.OpenExisting(cache_path_, platform::MappedFile::Access::ReadOnly)) {
        case platform::MapStep::Done:
            break;
        case platform::MapStep::File:
            message =
                u"Can not open dat file! File may be used by another program or does not "
                u"exists! In CQueryer::InitTraverse - 000";
            break;
        case platform::MapStep::Mapping:
            message =
                u"Runtime error! File may be used by another program! In "
                u"CQueryer::InitTraverse - 001";
            break;
        case platform::MapStep::View:
            message =
                u"Runtime error! File may be used by another program! In "
                u"CQueryer::InitTraverse - 002";
            break;
    }
    if (message) {
        errors_.ShowFileError(message, file_.problem().path, file_.problem().reason);
        return false;
    }
    // Offsets are 32-bit: nothing past 4 GiB can be addressed, whatever the file's length.
    const uint64_t size = file_.size() < 0xFFFFFFFFull ? file_.size() : 0xFFFFFFFFull;
    view_ = CacheView{file_.data(), static_cast<uint32_t>(size)};
    return true;
}

QueryOutcome CQueryer::RunQuery(const std::u16string& pattern, std::u16string location) {
    start_ticks_ = platform::TickCountMs();
    // Every way out: the mapping closed, no pointer left to a pattern that goes, the time taken.
    const ScopeExit finish([this] {
        pattern_.Clear();
        needle_ = SubstringNeedle{};
        walk_hint_ = nullptr;
        by_suffix_ = false;
        ReleaseTraverse();
        end_ticks_ = platform::TickCountMs();
    });
    total_size_kb_ = 0;
    damaged_ = false;
    counted_ = false;
    walked_in_parts_ = false;
    results_.Clear();
    if (!InitTraverse()) return QueryOutcome::Failed;

    std::u16string prepared;
    try {
        matcher_ = SelectMatcher(pattern);
        prepared = PreparePattern(pattern);
    } catch (const std::bad_alloc&) {
        errors_.ShowError(kOutOfMemory);
        return QueryOutcome::Failed;
    }
    if (!pattern_.Assign(prepared.c_str(), prepared.size() + 1)) {
        errors_.ShowError(kOutOfMemory);
        return QueryOutcome::Failed;
    }
    needle_ = PrepareNeedle(pattern_.data());
    // A text of one or two units is its own pair: where the pair stands exactly, it matches.
    hint_ = NameHint{needle_.first,       needle_.first_twin, needle_.second,
                     needle_.second_twin, needle_.units > 1,  needle_.units <= 2};
    walk_hint_ = name_filter_ && matcher_ == MatchSubstring && needle_.units > 0 ? &hint_ : nullptr;
    by_suffix_ = PrepareSuffixes(matcher_, pattern_.data(), suffixes_);
    if (name_filter_ && by_suffix_ && TailHint(suffixes_, pattern_.data(), hint_))
        walk_hint_ = &hint_;
    min_name_units_ = MinimumNameUnits(prepared);

    QueryOutcome outcome = QueryOutcome::Done;
    uint32_t start = kRootBlockOffset;
    base_path_.clear();
    location = std::u16string(TrimBlanks(location));
    if (!location.empty() && location != u"My Computer" &&
        !FindLocation(location, start, base_path_)) {
        outcome = QueryOutcome::NoSuchLocation;
        start = kRootBlockOffset;
        base_path_.clear();
    }

    try {
        count_records_ = count_chars_ = 0;
        walked_in_parts_ = walk_threads_ > 1 && WalkInParts(start);
        if (walked_in_parts_) return outcome;
        if (count_only_) {
            Traverse<Walk::Count>(start);
            return outcome;
        }
        record_limit_ = capacities_.records;
        pool_limit_ = capacities_.pool_chars;
        results_.records.reserve(record_limit_);
        results_.pool.reserve(pool_limit_);
        if (!Traverse<Walk::Limited>(start)) {
            results_.Clear();
            total_size_kb_ = 0;
            count_records_ = count_chars_ = 0;
            Traverse<Walk::Count>(start);
            total_size_kb_ = 0;  // the counting walk totals sizes too; the next walk does again
            if (count_chars_ > 0xFFFFFFFFull) throw std::bad_alloc();  // pool offsets are 32-bit
            record_limit_ = count_records_;
            pool_limit_ = count_chars_;
            results_.records.reserve(record_limit_);
            results_.pool.reserve(pool_limit_);
            Traverse<Walk::All>(start);
            counted_ = true;
        }
    } catch (const std::bad_alloc&) {
        results_.Clear();
        total_size_kb_ = 0;
        errors_.ShowError(kOutOfMemory);
        return QueryOutcome::Failed;
    }
    results_.records.shrink_to_fit();
    results_.pool.shrink_to_fit();
    return outcome;
}

bool CQueryer::Enter(uint32_t block) {
    if (!shared_visited_) return visited_.Enter(block) == Visit::First;
    const Visit visit = shared_visited_->EnterShared(block);
    if (visit == Visit::Again) collision_->store(true, std::memory_order_relaxed);
    return visit == Visit::First;
}

template <CQueryer::Walk kWalk>
bool CQueryer::Take() {
    const size_t need = RecordTextUnits(path_length_, current_units_);
    if constexpr (kWalk == Walk::Count) {
        ++count_records_;
        count_chars_ += need;
        total_size_kb_ += current_size_kb_;
        return true;
    } else {
        if (fill_.records) return Fill(need);
        std::vector<ResultRecord>& records = results_.records;
        std::vector<char16_t>& pool = results_.pool;
        if (records.size() >= record_limit_ || pool.size() + need > pool_limit_) {
            if constexpr (kWalk == Walk::Limited) return false;  // to the counting route
            overflow_ = true;
            damaged_ = true;  // the counted walk found less room than this one needs
            return true;
        }
        ResultRecord record;
        record.location = static_cast<uint32_t>(pool.size());
        pool.insert(pool.end(), path_.begin(), path_.end());
        pool.push_back(0);
        record.name = static_cast<uint32_t>(pool.size());
        for (uint32_t i = 0; i < current_units_; ++i)
            pool.push_back(Load16(view_.base + current_name_ + 2 * i));
        pool.push_back(0);
        record.size_kb = current_size_kb_;
        record.is_folder = current_folder_ ? 1 : 0;
        record.last_write = current_time_;
        records.push_back(record);
        total_size_kb_ += current_size_kb_;
        return true;
    }
}

template <CQueryer::Walk kWalk>
bool CQueryer::TakeFolder(size_t parent_path_length, uint32_t name, uint32_t units, uint64_t time,
                          uint64_t sum_kb) {
    if constexpr (kWalk != Walk::Count) path_.resize(parent_path_length);
    path_length_ = parent_path_length;
    current_name_ = name;
    current_units_ = units;
    current_size_kb_ = sum_kb > 0xFFFFFFFFull ? 0xFFFFFFFFu : uint32_t(sum_kb);
    current_folder_ = true;
    current_time_ = time;
    return !RunChain() || Take<kWalk>();
}

template <CQueryer::Walk kWalk>
bool CQueryer::Traverse(uint32_t start_block) {
    if (!shared_visited_) visited_.Clear(view_.size);
    stack_.clear();
    path_ = base_path_;
    path_length_ = path_.size();
    Enter(start_block);
    const auto over_limit = [&] {
        // A split walk fills without limits; what it held at each folder tells whether the
        // walk on one thread would have given up here.
        if constexpr (kWalk == Walk::Count)
            peak_at_enter_ = std::max<size_t>(peak_at_enter_, count_records_);
        return kWalk == Walk::Limited &&
               results_.records.size() > capacities_.records - capacities_.record_slack;
    };
    if (over_limit()) return false;
    stack_.push_back(Frame{BlockReader(view_, start_block, walk_hint_), path_length_, 0, 0, 0, 0});
    depth_ = 1 + depth_base_;
    while (!stack_.empty()) {
        Frame& frame = stack_.back();
        // Most records are files, read in a run with the reader's state in registers; what ends
        // the run (a folder, the end tag, anything unusual) is read by NextEntry below.
        // A bare count with no test but the name's keeps its figures in registers: a match adds
        // one record, its name's units and its size, and the run's path length once at the end.
        // The reader tallies the names it is sure of itself, without a branch on each.
        uint64_t files_kb = 0;
        BlockReader::Tally found;
        const bool count_here = kWalk == Walk::Count && filter_count_ == 0;
        const bool read_on = frame.reader.ReadFiles(
            files_kb,
            [&, this](uint32_t name, uint32_t units, uint32_t value, uint32_t record, bool sure) {
                if (!sure && !NameAccepts(name, units)) return true;
                if (count_here) {
                    ++found.files;
                    found.units += units;
                    found.kb += value;
                    return true;
                }
                current_name_ = name;
                current_units_ = units;
                current_size_kb_ = value;
                current_folder_ = false;
                current_time_ = Load64(view_.base + record + TimeFieldOffset(units));
                return !RunOthers() || Take<kWalk>();
            },
            count_here && walk_hint_ && walk_hint_->whole ? &found : nullptr);
        frame.sum_kb += files_kb;
        count_records_ += found.files;
        count_chars_ += found.files * RecordTextUnits(path_length_, 0) + found.units;
        total_size_kb_ += found.kb;
        if (!read_on) return false;
        // Declared here and never passed by reference, so that its fields stay in registers: a
        // record written to memory field by field and read back whole stalls every entry.
        EntryView e;
        if (frame.reader.NextEntry(e)) {
            if (e.IsFile()) {
                if (e.maybe && NameAccepts(e.name_offset, e.name_units)) {
                    current_name_ = e.name_offset;
                    current_units_ = e.name_units;
                    current_size_kb_ = e.value;
                    current_folder_ = false;
                    current_time_ = e.last_write;
                    if (RunOthers() && !Take<kWalk>()) return false;
                }
                frame.sum_kb += e.value;
                continue;
            }
            if constexpr (kWalk != Walk::Limited) {
                if (splice_ && e.value != NoBlock) {
                    if (PartTask* task = splice_->Take(e.record_offset)) {
                        const EntryView folder = e;
                        Splice<kWalk>(frame, folder, *task);
                        continue;
                    }
                }
            }
            if (e.value != NoBlock && Enter(e.value)) {
                if (over_limit()) return false;
                if constexpr (kWalk == Walk::Count) {
                    // Counting needs the path's length only, not its text.
                    const bool ends_in_separator =
                        e.name_units != 0 && e.NameUnit(view_, e.name_units - 1) == separator_;
                    path_length_ = frame.path_length + e.name_units + (ends_in_separator ? 0 : 1);
                } else {
                    path_.resize(frame.path_length);
                    AppendName(path_, e.name_offset, e.name_units);
                    if (path_.empty() || path_.back() != separator_) path_ += separator_;  // "/"
                    path_length_ = path_.size();
                }
                stack_.push_back(Frame{BlockReader(view_, e.value, walk_hint_), path_length_, 0,
                                       e.name_offset, e.name_units, e.last_write});
                ++depth_;
                continue;
            }
            if (e.value != NoBlock) damaged_ = true;  // outside the folder area, or a cycle
            if constexpr (kWalk != Walk::Count) path_.resize(frame.path_length);
            path_length_ = frame.path_length;
            current_name_ = e.name_offset;
            current_units_ = e.name_units;
            current_size_kb_ = 0;
            current_folder_ = true;
            current_time_ = e.last_write;
            if (RunChain() && !Take<kWalk>()) return false;
            continue;
        }
        if (frame.reader.fault() != BlockFault::None) damaged_ = true;
        const Frame done = frame;
        stack_.pop_back();
        --depth_;
        if (stack_.empty()) {
            subtree_kb_ = done.sum_kb;
            break;
        }
        // The folder's own record, with the total of its subtree, at its parent's depth.
        Frame& parent = stack_.back();
        if (!TakeFolder<kWalk>(parent.path_length, done.entry_name, done.entry_units,
                               done.entry_time, done.sum_kb))
            return false;
        parent.sum_kb += done.sum_kb;
    }
    return true;
}

bool CQueryer::Fill(size_t need) {
    if (fill_.record_at >= fill_.record_end || fill_.pool_end - fill_.pool_at < need) {
        overflow_ = true;  // the counting walk found less than this one: the split gives up
        return true;
    }
    ResultRecord& record = fill_.records[fill_.record_at++];
    char16_t* text = fill_.pool + fill_.pool_at;
    record.location = static_cast<uint32_t>(fill_.pool_at);
    text = std::copy(path_.begin(), path_.end(), text);
    *text++ = 0;
    record.name = static_cast<uint32_t>(fill_.pool_at + path_.size() + 1);
    for (uint32_t i = 0; i < current_units_; ++i)
        *text++ = Load16(view_.base + current_name_ + 2 * i);
    *text = 0;
    fill_.pool_at += need;
    record.size_kb = current_size_kb_;
    record.is_folder = current_folder_ ? 1 : 0;
    record.last_write = current_time_;
    total_size_kb_ += current_size_kb_;
    return true;
}

template bool CQueryer::Traverse<CQueryer::Walk::All>(uint32_t);
template bool CQueryer::Traverse<CQueryer::Walk::Count>(uint32_t);
template bool CQueryer::Take<CQueryer::Walk::All>();
template bool CQueryer::Take<CQueryer::Walk::Count>();
template bool CQueryer::TakeFolder<CQueryer::Walk::All>(size_t, uint32_t, uint32_t, uint64_t,
                                                        uint64_t);
template bool CQueryer::TakeFolder<CQueryer::Walk::Count>(size_t, uint32_t, uint32_t, uint64_t,
                                                          uint64_t);

void CQueryer::AppendName(std::u16string& to, uint32_t name_offset, uint32_t units) const {
    for (uint32_t i = 0; i < units; ++i) to += char16_t(Load16(view_.base + name_offset + 2 * i));
}

bool CQueryer::NameEquals(const EntryView& e, std::u16string_view text, bool fold) const {
    if (e.name_units != text.size()) return false;
    for (uint32_t i = 0; i < e.name_units; ++i) {
        const char16_t c = e.NameUnit(view_, i);
        if (fold ? FoldCase(c) != FoldCase(text[i]) : c != text[i]) return false;
    }
    return true;
}

// Looks the location up by the rule of location_lookup.h; the path handed back is spelled with
// the stored names.
bool CQueryer::FindLocation(std::u16string_view location, uint32_t& block, std::u16string& path) {
    struct Source {
        CQueryer& q;
        std::u16string built;
        void EachRoot(const RootVisit<EntryView>& visit) {
            BlockReader roots(q.view_, kRootBlockOffset);
            EntryView e;
            while (roots.NextEntry(e))
                if (e.IsFolder()) visit(e, e.Name(q.view_));
        }
        void EachChild(const EntryView& folder, const ChildVisit<EntryView>& visit) {
            BlockReader reader(q.view_, folder.value);
            EntryView e;
            while (reader.NextEntry(e))
                if (!visit(e)) return;
        }
        bool NameIs(const EntryView& e, std::u16string_view text, bool fold) const {
            return e.name_units == text.size() && q.NameEquals(e, text, fold);
        }
        static bool IsFolder(const EntryView& e) { return !e.IsFile(); }
        static bool HasBlock(const EntryView& e) {
            return e.value != NoBlock && e.value >= kFirstBlockOffset;
        }
        void Enter(const EntryView& e) {
            q.AppendName(built, e.name_offset, e.name_units);
            if (built.empty() || built.back() != q.separator_) built += q.separator_;
        }
    } source{*this, {}};
    EntryView found;
    if (!LookUpLocation(location, separator_, source, found)) return false;
    block = found.value;
    path = std::move(source.built);
    return true;
}

QueryOutcome RunQueryLocked(CQueryer& queryer, const std::u16string& pattern,
                            const std::u16string& location) {
    std::lock_guard lock(CCacheShared::Instance().CacheFileLock());
    return queryer.RunQuery(pattern, location);
}

}  // namespace corvella
