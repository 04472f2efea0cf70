#include "search/name_index.h"

#include <algorithm>
#include <functional>
#include <new>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <unordered_set>

#include "cache/visited_blocks.h"
#include "platform/case_fold.h"
#include "platform/text.h"
#include "search/location_lookup.h"
#include "search/matchers.h"

namespace corvella {

namespace {

// Runs work(k) for every k below `parts`: on threads of their own and the calling thread. A
// thread that cannot be started leaves its part to the calling thread.
template <typename Work>
void RunParts(unsigned parts, Work work) {
    std::vector<std::thread> threads;
    std::vector<unsigned> left;
    for (unsigned k = 1; k < parts; ++k) {
        try {
            threads.emplace_back([&work, k] { work(k); });
        } catch (const std::system_error&) {
            left.push_back(k);
        }
    }
    work(0);
    for (unsigned k : left) work(k);
    for (std::thread& t : threads) t.join();
}

// As many parts as threads, each of one item at least. A thread costs far less to start than
// a person notices, so small ranges are split as large ones are, and walked the same way.
unsigned PartsFor(uint64_t items, unsigned threads) {
    return unsigned(std::clamp<uint64_t>(threads, 1, std::max<uint64_t>(1, items)));
}

// Whether only the name decides: no filter is set.
bool NameOnly(const SearchCriteria& c) {
    return !c.no_subdirectories && c.kind == SearchKind::All && !c.min_size_enabled &&
           !c.max_size_enabled && !c.date_from_enabled && !c.date_to_enabled;
}

uint32_t SaturatedKB(uint64_t kb) {
    return kb > 0xFFFFFFFFull ? 0xFFFFFFFFu : uint32_t(kb);
}

}  // namespace

std::shared_ptr<NameIndex> NameIndex::Build(const CacheView& view, BuildOutcome& outcome) {
    std::shared_ptr<NameIndex> index(new NameIndex);
    NameIndex& x = *index;
    outcome = BuildOutcome::Damaged;

    // Distinct names: a candidate is appended to the pool with the next number, looked up, and
    // taken back when the same text is already there.
    const auto hash = [&x](uint32_t id) {
        uint64_t h = 1469598103934665603ull;
        for (char16_t c : x.NameText(id)) h = (h ^ c) * 1099511628211ull;
        return size_t(h);
    };
    const auto same = [&x](uint32_t a, uint32_t b) { return x.NameText(a) == x.NameText(b); };
    using NameSet = std::unordered_set<uint32_t, decltype(hash), decltype(same)>;
    std::optional<NameSet> names(std::in_place, 1024, hash, same);
    const auto intern = [&](const EntryView& e) {
        const uint32_t at = uint32_t(x.pool_.size());
        for (uint32_t i = 0; i < e.name_units; ++i) x.pool_.push_back(e.NameUnit(view, i));
        x.pool_.push_back(0);
        const uint32_t id = uint32_t(x.name_start_.size());
        x.name_start_.push_back(at);
        const auto [it, added] = names->insert(id);
        if (added) return id;
        x.name_start_.pop_back();
        x.pool_.resize(at);
        return *it;
    };

    // Parents are first known by the order their folders were entered, and renumbered once
    // every folder has its place.
    std::vector<uint32_t> entered_at;  // the order a folder was entered -> its entry number
    const auto add = [&](uint32_t name_at, uint32_t parent, uint32_t size_kb, uint64_t time) {
        x.name_id_.push_back(name_at);
        x.parent_.push_back(parent);
        x.size_kb_.push_back(size_kb);
        x.time_.push_back(time);
        return uint32_t(x.parent_.size() - 1);
    };

    VisitedBlocks visited;
    visited.Clear(view.size);
    const auto enter = [&](uint32_t block) { return visited.Enter(block) == Visit::First; };

    struct Frame {
        BlockReader reader;
        uint32_t order;   // when it was entered; kNone for the drives' block
        uint32_t parent;  // its parent's order
        uint32_t name_at;
        uint64_t time;
        uint64_t sum_kb;
    };
    std::vector<Frame> stack;
    stack.push_back(Frame{BlockReader(view, kRootBlockOffset), kNone, kNone, 0, 0, 0});
    EntryView e;
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.reader.NextEntry(e)) {
            const uint32_t id = intern(e);
            if (e.IsFile()) {
                add(id, frame.order, e.value, e.last_write);
                frame.sum_kb += e.value;
                continue;
            }
            if (e.value == NoBlock) {
                const uint32_t at = add(id | kFolderBit, frame.order, 0, e.last_write);
                x.no_block_.push_back(at);
                continue;
            }
            if (!enter(e.value)) return nullptr;  // outside the folder area, or reached twice
            const uint32_t order = uint32_t(entered_at.size());
            entered_at.push_back(kNone);
            stack.push_back(
                Frame{BlockReader(view, e.value), order, frame.order, id, e.last_write, 0});
            continue;
        }
        if (frame.reader.fault() != BlockFault::None) return nullptr;
        const Frame done = frame;
        stack.pop_back();
        if (stack.empty()) break;
        const uint32_t at =
            add(done.name_at | kFolderBit, done.parent, SaturatedKB(done.sum_kb), done.time);
        entered_at[done.order] = at;
        stack.back().sum_kb += done.sum_kb;
    }
    for (uint32_t& parent : x.parent_)
        if (parent != kNone) parent = entered_at[parent];
    entered_at = {};
    names.reset();

    // The postings, by a counting sort: each name's entries land in answer order.
    const size_t name_count = x.name_start_.size();
    x.postings_at_.assign(name_count + 1, 0);
    x.name_kb_.assign(name_count, 0);
    for (size_t i = 0; i < x.name_id_.size(); ++i) {
        const uint32_t id = x.name_id_[i] & ~kFolderBit;
        ++x.postings_at_[id + 1];
        x.name_kb_[id] += x.size_kb_[i];
    }
    for (size_t id = 0; id < name_count; ++id) x.postings_at_[id + 1] += x.postings_at_[id];
    x.postings_.resize(x.name_id_.size());
    {
        std::vector<uint32_t> next(x.postings_at_.begin(), x.postings_at_.end() - 1);
        for (uint32_t i = 0; i < uint32_t(x.name_id_.size()); ++i)
            x.postings_[next[x.name_id_[i] & ~kFolderBit]++] = i;
    }

    for (auto* v : {&x.name_id_, &x.parent_, &x.size_kb_, &x.name_start_}) v->shrink_to_fit();
    x.time_.shrink_to_fit();
    x.pool_.shrink_to_fit();
    x.no_block_.shrink_to_fit();
    outcome = BuildOutcome::Built;
    return index;
}

size_t NameIndex::MemoryBytes() const {
    return 4 * (name_id_.capacity() + parent_.capacity() + size_kb_.capacity()) +
           4 * (no_block_.capacity() + name_start_.capacity() + postings_at_.capacity() +
                postings_.capacity()) +
           8 * (time_.capacity() + name_kb_.capacity()) + 2 * pool_.capacity();
}

uint32_t NameIndex::SubtreeBegin(uint32_t folder) const {
    // Ancestors come after their descendants, so an entry below the folder climbs to it, and
    // one before its subtree climbs past it: a binary search over the entries before it.
    const auto descends = [&](uint32_t entry) {
        while (entry < folder) entry = parent_[entry];  // kNone is past every entry
        return entry == folder;
    };
    uint32_t low = 0, high = folder;
    while (low < high) {
        const uint32_t middle = low + (high - low) / 2;
        if (descends(middle))
            high = middle;
        else
            low = middle + 1;
    }
    return low;
}

template <typename Visit>
void NameIndex::ForEachChild(uint32_t folder, Visit visit) const {
    uint32_t at = folder == kNone ? 0 : SubtreeBegin(folder);
    const uint32_t end = folder == kNone ? uint32_t(parent_.size()) : folder;
    // The first entry of each child's subtree climbs to the child, which the next one follows.
    while (at < end) {
        uint32_t child = at;
        while (parent_[child] != folder) child = parent_[child];
        if (!visit(child)) return;
        at = child + 1;
    }
}

void NameIndex::SpellLocation(Spelling& spelling, uint32_t folder, char16_t separator) const {
    // Runs of records mostly move between a folder and its parent or a sibling, so most of a
    // location is the last one's: the climb stops at the first folder the two share, and only
    // the folders below it are spelled again. A folder comes after its subtree, so the chain's
    // numbers fall from the drive down and a folder is found in it by binary search.
    spelling.climb.clear();
    size_t kept = 0;
    for (uint32_t f = folder; f != kNone; f = parent_[f]) {
        const auto at =
            std::lower_bound(spelling.chain.begin(), spelling.chain.end(), f, std::greater<>());
        if (at != spelling.chain.end() && *at == f) {
            kept = size_t(at - spelling.chain.begin()) + 1;
            break;
        }
        spelling.climb.push_back(f);
    }
    spelling.chain.resize(kept);
    spelling.ends.resize(kept);
    spelling.path.resize(kept == 0 ? 0 : spelling.ends.back());
    for (size_t k = spelling.climb.size(); k-- > 0;) {
        // Each step depends only on the text before it, so a kept prefix spells as a new one.
        spelling.path += Name(spelling.climb[k]);
        if (spelling.path.empty() || spelling.path.back() != separator) spelling.path += separator;
        spelling.chain.push_back(spelling.climb[k]);
        spelling.ends.push_back(uint32_t(spelling.path.size()));
    }
}

// The rule of location_lookup.h, over the parent links.
bool NameIndex::FindLocation(std::u16string_view location, char16_t sep, uint32_t& folder) const {
    struct Source {
        const NameIndex& x;
        void EachRoot(const RootVisit<uint32_t>& visit) const {
            x.ForEachChild(kNone, [&](uint32_t drive) {
                if (x.IsFolder(drive)) visit(drive, x.Name(drive));
                return true;
            });
        }
        void EachChild(uint32_t at, const ChildVisit<uint32_t>& visit) const {
            x.ForEachChild(at, visit);
        }
        bool NameIs(uint32_t entry, std::u16string_view text, bool fold) const {
            const std::u16string_view name = x.Name(entry);
            return fold ? EqualsFolded(name, text) : name == text;
        }
        bool IsFolder(uint32_t entry) const { return x.IsFolder(entry); }
        bool HasBlock(uint32_t entry) const { return x.HasBlock(entry); }
        static void Enter(uint32_t) {}
    } source{*this};
    return LookUpLocation(location, sep, source, folder);
}

void NameIndex::ScanPart(const Range& range, const std::vector<uint8_t>& verdicts,
                         const SearchCriteria& c, bool count_only, Part& part,
                         std::vector<uint32_t>& taken) const {
    const bool name_only = NameOnly(c);
    // The commonest query, a bare count by name: no branch on the verdict, which a common
    // pattern makes a coin toss.
    if (count_only && name_only) {
        uint64_t matches = 0, total = 0;
        for (uint32_t i = range.begin; i < range.end; ++i) {
            const uint64_t ok = verdicts[name_id_[i] & ~kFolderBit];
            matches += ok;
            total += size_kb_[i] & (0 - ok);
        }
        part.matches = matches;
        part.total_kb = total;
        return;
    }
    // The range's entries with a matching name, as the scan meets them. A common pattern
    // makes the verdict a coin toss, so a block's matching entries are first gathered without
    // a branch on it, and only then taken.
    const auto matching = [&](auto take) {
        constexpr uint32_t kBlock = 2048;
        uint32_t gathered[kBlock];
        for (uint32_t from = range.begin; from < range.end; from += kBlock) {
            const uint32_t to = range.end - from < kBlock ? range.end : from + kBlock;
            uint32_t n = 0;
            for (uint32_t i = from; i < to; ++i) {
                gathered[n] = i;
                n += verdicts[name_id_[i] & ~kFolderBit];
            }
            for (uint32_t k = 0; k < n; ++k) take(gathered[k]);
        }
    };
    TakeEntries(matching, range.top_parent, c, name_only, count_only, part, taken);
}

template <typename Entries>
void NameIndex::TakeEntries(Entries entries, uint32_t top_parent, const SearchCriteria& c,
                            bool name_only, bool count_only, Part& part,
                            std::vector<uint32_t>& taken) const {
    const bool files_only = c.kind == SearchKind::FilesOnly;
    const bool folders_only = c.kind == SearchKind::FoldersOnly;
    try {
        entries([&](uint32_t i) {
            const uint32_t kb = size_kb_[i];
            if (!name_only) {
                const bool folder = IsFolder(i);
                if (c.no_subdirectories && parent_[i] != top_parent) return;
                if ((files_only && folder) || (folders_only && !folder)) return;
                if (c.min_size_enabled && kb < c.min_size_kb) return;
                if (c.max_size_enabled && kb > c.max_size_kb) return;
                const uint64_t time = time_[i];
                if (c.date_from_enabled && time < c.date_from) return;
                if (c.date_to_enabled && time > c.date_to) return;
            }
            ++part.matches;
            part.total_kb += kb;
            if (!count_only) taken.push_back(i);
        });
    } catch (const std::bad_alloc&) {
        part.out_of_memory = true;
    } catch (const std::length_error&) {  // past what a vector holds: memory, too
        part.out_of_memory = true;
    }
}

void NameIndex::WriteRecords(std::span<const uint32_t> entries, char16_t separator,
                             std::vector<ResultRecord>& records,
                             std::vector<char16_t>& pool) const {
    // Each run of records in one folder needs its location once, and shares its text.
    Spelling spelling;
    std::optional<uint32_t> path_of;
    uint32_t location = 0;
    // Offsets are cut to 32 bits here; a pool that outgrows them is refused when the parts
    // are put together, before any offset is read.
    const auto append = [&pool](std::u16string_view text) {
        const uint32_t at = uint32_t(pool.size());
        pool.insert(pool.end(), text.begin(), text.end());
        pool.push_back(0);
        return at;
    };
    try {
        for (const uint32_t i : entries) {
            if (path_of != parent_[i]) {
                SpellLocation(spelling, parent_[i], separator);
                path_of = parent_[i];
                location = append(spelling.path);
            }
            const uint32_t name = append(Name(i));
            records.push_back(ResultRecord{location, kIconUnresolved, name, size_kb_[i],
                                           uint8_t(IsFolder(i)), time_[i]});
        }
    } catch (const std::length_error&) {  // past what a vector holds: memory, too
        throw std::bad_alloc();
    }
}

class NameIndex::Records final : public RecordSource {
  public:
    Records(std::shared_ptr<const NameIndex> index, char16_t separator, unsigned threads)
        : x_(std::move(index)), separator_(separator), threads_(threads) {}

    void Write(std::span<const uint32_t> entries, ResultSet& out) const override {
        // In parts on threads of their own: the first writes straight into `out`, each after it
        // into one of its spares, which are then appended, their offsets moved by where their
        // pool lands.
        const unsigned parts = PartsFor(entries.size(), threads_);
        std::vector<ResultSet::Spare>& written = out.spares;
        if (written.size() < parts) written.resize(parts);
        std::vector<uint8_t> out_of_memory(parts, 0);
        RunParts(parts, [&](unsigned k) {
            const std::span<const uint32_t> mine =
                entries.subspan(entries.size() * k / parts,
                                entries.size() * (k + 1) / parts - entries.size() * k / parts);
            try {
                if (k == 0) {
                    x_->WriteRecords(mine, separator_, out.records, out.pool);
                } else {
                    written[k].records.clear();
                    written[k].pool.clear();
                    x_->WriteRecords(mine, separator_, written[k].records, written[k].pool);
                }
            } catch (const std::bad_alloc&) {
                out_of_memory[k] = 1;
            }
        });
        for (unsigned k = 0; k < parts; ++k)
            if (out_of_memory[k]) throw std::bad_alloc();
        // 64-bit sums, so that on a 32-bit build too a pool past what offsets hold is refused,
        // not wrapped into one too small for its texts.
        uint64_t records = out.records.size(), chars = out.pool.size();
        for (unsigned k = 1; k < parts; ++k) {
            records += written[k].records.size();
            chars += written[k].pool.size();
        }
        // Pool offsets are 32-bit; past what a vector can hold is memory running out, not an
        // error of another kind.
        if (chars > 0xFFFFFFFFull || chars > out.pool.max_size() ||
            records > out.records.max_size())
            throw std::bad_alloc();
        out.records.reserve(size_t(records));
        out.pool.reserve(size_t(chars));
        for (unsigned k = 1; k < parts; ++k) {
            const uint32_t base = uint32_t(out.pool.size());
            for (ResultRecord r : written[k].records) {
                r.location += base;
                r.name += base;
                out.records.push_back(r);
            }
            out.pool.insert(out.pool.end(), written[k].pool.begin(), written[k].pool.end());
        }
    }

    ResultRow Row(uint32_t i) const override {
        Spelling spelling;
        x_->SpellLocation(spelling, x_->parent_[i], separator_);
        return ResultRow{std::u16string(x_->Name(i)),
                         std::move(spelling.path),
                         x_->size_kb_[i],
                         x_->IsFolder(i),
                         x_->time_[i],
                         kIconUnresolved};
    }

    uint32_t SizeKB(uint32_t i) const override { return x_->size_kb_[i]; }

  private:
    std::shared_ptr<const NameIndex> x_;
    char16_t separator_;
    unsigned threads_;
};

void NameIndex::Postings(const Range& range, const std::vector<uint8_t>& verdicts,
                         std::vector<uint32_t>& entries) const {
    entries.clear();
    size_t lists = 0;
    for (uint32_t id = 0; id < verdicts.size(); ++id) {
        if (!verdicts[id]) continue;
        const auto first = postings_.begin() + postings_at_[id];
        const auto last = postings_.begin() + postings_at_[id + 1];
        const auto from = std::lower_bound(first, last, range.begin);
        const auto to = std::lower_bound(from, last, range.end);
        if (from == to) continue;
        entries.insert(entries.end(), from, to);
        ++lists;
    }
    // Each list is in answer order already; several are merged by sorting their positions.
    if (lists > 1) std::sort(entries.begin(), entries.end());
}

NameIndex::Answer NameIndex::Run(const SearchCriteria& criteria, const std::u16string& pattern,
                                 std::u16string_view location, char16_t separator, bool count_only,
                                 unsigned threads, ResultSet& results, Workspace& work,
                                 Route route) const {
    results.Reset();
    Answer answer;
    const uint32_t entry_count = uint32_t(parent_.size());
    Range range{0, entry_count, kNone};
    location = TrimBlanks(location);
    if (!location.empty() && location != u"My Computer") {
        uint32_t folder = kNone;
        if (FindLocation(location, separator, folder))
            range = Range{SubtreeBegin(folder), folder, folder};
        else
            answer.outcome = QueryOutcome::NoSuchLocation;
    }

    // The name test once per distinct name the range can hold.
    const Matcher matcher = SelectMatcher(pattern);
    const std::u16string prepared = PreparePattern(pattern);
    const uint32_t min_units = MinimumNameUnits(prepared);
    const auto name_matches = [&](uint32_t id) {
        const std::u16string_view name = NameText(id);
        const uint32_t units = uint32_t(name.size());
        if (units < min_units) return false;
        const auto* text = reinterpret_cast<const uint8_t*>(name.data());
        if (matcher == MatchSubstring)
            return MatchSubstringKnownLength(text, units, prepared.data(), min_units) != 0;
        return matcher(text, prepared.data()) != 0;
    };
    const uint32_t name_count = uint32_t(name_start_.size());
    std::vector<uint8_t>& verdicts = work.verdicts;
    verdicts.assign(name_count, 0);
    const uint32_t span = range.end - range.begin;
    // The entries the matching names carry, all of them: what the postings would visit.
    uint64_t carried = 0;
    if (span < name_count && route != Route::Postings) {  // a small location: only its own names
        for (uint32_t i = range.begin; i < range.end; ++i) {
            const uint32_t id = name_id_[i] & ~kFolderBit;
            verdicts[id] = name_matches(id);
        }
        route = Route::Scan;
    } else {
        const unsigned parts = PartsFor(name_count, threads);
        std::vector<uint64_t> carried_by(parts, 0);
        RunParts(parts, [&](unsigned k) {
            const uint32_t first = uint32_t(uint64_t(name_count) * k / parts);
            const uint32_t end = uint32_t(uint64_t(name_count) * (k + 1) / parts);
            const auto take = [&](uint32_t id) {
                verdicts[id] = 1;
                carried_by[k] += postings_at_[id + 1] - postings_at_[id];
            };
            if (matcher != MatchSubstring || first == end) {
                for (uint32_t id = first; id < end; ++id)
                    if (name_matches(id)) take(id);
                return;
            }
            // A plain text is looked for in the part's stretch of the pool at once, not name
            // by name: the names' NULs fold to nothing the text holds, so no find straddles
            // two names, and each find names the one it lies in.
            const auto* pool = reinterpret_cast<const uint8_t*>(pool_.data());
            const uint32_t stop = end < name_count ? name_start_[end] : uint32_t(pool_.size());
            for (uint32_t at = name_start_[first]; at < stop;) {
                const int found = MatchSubstringKnownLength(pool + 2 * size_t(at), stop - at,
                                                            prepared.data(), min_units);
                if (found == 0) break;
                const uint32_t hit = at + uint32_t(found) - 1;
                const uint32_t id = uint32_t(
                    std::upper_bound(name_start_.begin() + first, name_start_.begin() + end, hit) -
                    name_start_.begin() - 1);
                take(id);
                at = id + 1 < name_count ? name_start_[id + 1] : stop;
            }
        });
        for (uint64_t n : carried_by) carried += n;
    }
    // Over everything, a bare count by name is the names' own sums.
    if (route != Route::Scan && count_only && NameOnly(criteria) && span == entry_count) {
        answer.matches = carried;
        for (uint32_t id = 0; id < name_count; ++id)
            if (verdicts[id]) answer.total_size_kb += name_kb_[id];
        return answer;
    }
    if (route == Route::Choose)
        route = carried <= entry_count / kPostingsShare ? Route::Postings : Route::Scan;

    std::vector<Part>& found = work.parts;
    const auto ready = [&found](size_t parts) {
        found.resize(parts);
        for (Part& part : found) {
            part.matches = part.total_kb = 0;
            part.out_of_memory = false;
            part.entries.clear();
        }
    };
    // The first part's entries go straight into the result set.
    std::vector<uint32_t> no_entries;
    std::vector<uint32_t>& listed = count_only ? no_entries
                                               : results.StartPending(std::make_shared<Records>(
                                                     shared_from_this(), separator, threads));
    const auto taken = [&](unsigned k) -> std::vector<uint32_t>& {
        return k == 0 ? listed : found[k].entries;
    };
    if (route == Route::Postings) {
        const std::vector<uint32_t>& entries = work.postings;
        Postings(range, verdicts, work.postings);
        const auto each = [&](auto take) {
            for (const uint32_t i : entries) take(i);
        };
        ready(1);
        TakeEntries(each, range.top_parent, criteria, NameOnly(criteria), count_only, found[0],
                    taken(0));
    } else {
        const unsigned parts = PartsFor(span, threads);
        ready(parts);
        RunParts(parts, [&](unsigned k) {
            const Range mine{uint32_t(range.begin + uint64_t(span) * k / parts),
                             uint32_t(range.begin + uint64_t(span) * (k + 1) / parts),
                             range.top_parent};
            ScanPart(mine, verdicts, criteria, count_only, found[k], taken(k));
        });
    }

    // The parts back together in order: the first is in place already.
    for (const Part& part : found) {
        if (part.out_of_memory) throw std::bad_alloc();
        answer.matches += part.matches;
        answer.total_size_kb += part.total_kb;
    }
    if (count_only) return answer;
    size_t entries = listed.size();
    for (size_t k = 1; k < found.size(); ++k) entries += found[k].entries.size();
    if (entries > listed.max_size()) throw std::bad_alloc();  // memory, as a vector sees it
    listed.reserve(entries);
    for (size_t k = 1; k < found.size(); ++k)
        listed.insert(listed.end(), found[k].entries.begin(), found[k].entries.end());
    return answer;
}

}  // namespace corvella
