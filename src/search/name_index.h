// NameIndex: every entry of a sound cache file, read once into arrays laid out for scanning, so
// that a search inside a running program costs a scan of memory instead of a walk of the file.
//
// Layout. Entries are numbered in the order a walk answers them: a folder right after its whole
// subtree, siblings in block order. A folder's subtree is then one contiguous range ending just
// before it, and a search of any location is a scan of one range, cut into equal parts for the
// threads and put back together in order. Per entry there is its name's place (its top bit marks a
// folder), the parent's number, the size in KB (a folder: its subtree's total, held to 32 bits as
// the walk holds it) and the last-write time. Names are stored once per distinct text, as the
// cache stores them (NUL-terminated UTF-16); the matchers fold as they read, as they do for the
// file. A query first runs the matcher over the distinct names (a file tree repeats names a lot:
// "Makefile", "index.js", copies of whole folders), then the entry scan only looks its name's
// verdict up.
//
// Sameness with the walk. The index is built only from a file whose walk from the drives meets
// no fault: every block read cleanly and entered once. A walk from any folder of such a file
// reads exactly that folder's range, so the index answers record for record what the walk
// answers. A file the walk would call damaged gets no index: the walk answers it, damage
// reported. Locations are looked up by the same rules as CQueryer's (the longest drive prefix,
// then the first child of that name in block order), over the parent links.
//
// Capacities: the walk's record and character limits only choose how it fills its arrays (a
// first walk, or a counting walk and then a filling one); its answer is always complete. The
// index grows its arrays with the matches it finds, so it has no such limits to carry.
//
// Postings. A selective pattern matches a few distinct names carried by a few entries, and a
// scan of two million verdicts to find them costs milliseconds that a search-as-you-type program
// pays per key. So each distinct name also lists the entries that carry it, in answer order (one
// array of positions, cut per name by an offset: a counting sort when the index is read), with
// the sum of their sizes. After the name test, the entries the matching names carry are counted
// from the offsets; when they are few (kPostingsShare), only they are visited: each name's list
// cut to the location's range by binary search, the lists merged in answer order, the filters
// checked per entry as the scan checks them. A bare count by name over everything needs no
// entry at all: the names' counts and size sums are the answer. A common pattern scans as
// before, where reading entries in order is cheaper than jumping between them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cache/block_reader.h"
#include "results/result_set.h"
#include "search/queryer.h"
#include "search/search_criteria.h"

namespace corvella {

class NameIndex : public std::enable_shared_from_this<NameIndex> {
  public:
    enum class BuildOutcome { Built, Damaged };

    // Reads every entry below the drives. Damaged (and no index) when the walk would meet a
    // fault, a block outside the folder area or a block reached twice. Throws std::bad_alloc.
    static std::shared_ptr<NameIndex> Build(const CacheView& view, BuildOutcome& outcome);

    struct Answer {
        QueryOutcome outcome = QueryOutcome::Done;
        uint64_t matches = 0;
        uint64_t total_size_kb = 0;
    };

    // How a query finds its entries: chosen by how many the matching names carry, or one way
    // always (both answer the same; measurements and tests force each).
    enum class Route { Choose, Scan, Postings };
    // When the matching names carry at most this share of the entries (1/kPostingsShare), the
    // query visits them alone instead of scanning. Measured on 2M entries: a filtered count or a
    // listing by postings took half the processor time of the scan at 0.1% to 2% of the
    // entries, as much at 3.4%, more from 2.5% on; the scan runs on every core and postings on
    // one, so the share is set well below where they meet.
    static constexpr uint32_t kPostingsShare = 128;

    // What one thread's stretch of a query came to. Kept by the caller between its queries,
    // with the result set, so that a big listing writes into memory the last one already
    // touched instead of faulting in fresh pages and growing its arrays again.
    struct Part {
        uint64_t matches = 0;
        uint64_t total_kb = 0;
        // A listing's entries; the first part writes straight into the result set instead.
        std::vector<uint32_t> entries;
        bool out_of_memory = false;
    };
    struct Workspace {
        std::vector<Part> parts;
        std::vector<uint8_t> verdicts;
        std::vector<uint32_t> postings;
        // Gives the memory back, after memory ran out.
        void Release() { *this = Workspace(); }
    };

    // One query, as CQueryer::RunQuery with BuildFilterChain(criteria) would answer it:
    // `pattern` is already folded (QueryPattern), `location` as typed. Unless `count_only`,
    // `results` becomes a pending listing of this index's entries (result_set.h), which keeps
    // the index alive; records written from it that lie in one folder one after another share
    // one text of its location. The arrays of `results` and `work` keep their memory for the
    // next query. Throws std::bad_alloc.
    Answer Run(const SearchCriteria& criteria, const std::u16string& pattern,
               std::u16string_view location, char16_t separator, bool count_only, unsigned threads,
               ResultSet& results, Workspace& work, Route route = Route::Choose) const;

    size_t entries() const { return parent_.size(); }
    size_t distinct_names() const { return name_start_.size(); }
    // The bytes its arrays hold.
    size_t MemoryBytes() const;

  private:
    static constexpr uint32_t kNone = 0xFFFFFFFF;
    static constexpr uint32_t kFolderBit = 0x80000000;

    struct Range {
        uint32_t begin = 0, end = 0;
        uint32_t top_parent = kNone;  // the entries directly in the searched location have it
    };

    // A name by its number.
    // Names lie in the pool in their numbers' order, so each ends where the next begins.
    std::u16string_view NameText(uint32_t id) const {
        const size_t end = id + 1 < name_start_.size() ? name_start_[id + 1] : pool_.size();
        return std::u16string_view(pool_.data() + name_start_[id], end - name_start_[id] - 1);
    }
    std::u16string_view Name(uint32_t entry) const {
        return NameText(name_id_[entry] & ~kFolderBit);
    }
    bool IsFolder(uint32_t entry) const { return (name_id_[entry] & kFolderBit) != 0; }
    // Where a folder's subtree begins: the entries from there up to it all descend from it.
    uint32_t SubtreeBegin(uint32_t folder) const;
    bool HasBlock(uint32_t folder) const {
        return !std::binary_search(no_block_.begin(), no_block_.end(), folder);
    }

    bool FindLocation(std::u16string_view location, char16_t separator, uint32_t& folder) const;
    // The entries directly in `folder` (kNone: the drives), in block order.
    template <typename Visit>
    void ForEachChild(uint32_t folder, Visit visit) const;
    // The location last spelled: its text, its folders from the drive down and where the text
    // of each ends; and room to climb from a folder.
    struct Spelling {
        std::u16string path;
        std::vector<uint32_t> chain;
        std::vector<uint32_t> ends;
        std::vector<uint32_t> climb;
    };
    // Makes spelling.path spell `folder`'s location as the walk spells it, with its separator
    // (kNone: the drives', ""). The folders it shares with the last one spelled are kept.
    void SpellLocation(Spelling& spelling, uint32_t folder, char16_t separator) const;

    void ScanPart(const Range& range, const std::vector<uint8_t>& verdicts,
                  const SearchCriteria& criteria, bool count_only, Part& part,
                  std::vector<uint32_t>& taken) const;
    // Takes those the filters pass of the entries `entries(take)` calls take(entry) for (in
    // answer order, all with a matching name): counts them, and a listing appends them to
    // `taken`.
    template <typename Entries>
    void TakeEntries(Entries entries, uint32_t top_parent, const SearchCriteria& criteria,
                     bool name_only, bool count_only, Part& part,
                     std::vector<uint32_t>& taken) const;
    // Appends the records of `entries` and their texts to `records` and `pool`, the offsets
    // counted from the pool's start. Throws std::bad_alloc.
    void WriteRecords(std::span<const uint32_t> entries, char16_t separator,
                      std::vector<ResultRecord>& records, std::vector<char16_t>& pool) const;
    // The records of a pending listing: written on `threads` threads.
    class Records;
    // The entries of `range` that the names with a verdict carry, in answer order, into
    // `entries`.
    void Postings(const Range& range, const std::vector<uint8_t>& verdicts,
                  std::vector<uint32_t>& entries) const;
    // Per entry, in answer order.
    std::vector<uint32_t> name_id_;  // the name's number; the top bit marks a folder
    std::vector<uint32_t> parent_;   // kNone for a drive
    std::vector<uint32_t> size_kb_;
    std::vector<uint64_t> time_;
    // The folders the file has no block for (never listed), in order.
    std::vector<uint32_t> no_block_;
    // The distinct names, each ended by a NUL, one after another, and where each begins.
    std::vector<char16_t> pool_;
    std::vector<uint32_t> name_start_;
    // Per name: its entries are postings_[postings_at_[id] .. postings_at_[id + 1]), and
    // name_kb_[id] their sizes summed.
    std::vector<uint32_t> postings_at_;
    std::vector<uint32_t> postings_;
    std::vector<uint64_t> name_kb_;
};

}  // namespace corvella
