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
// index sizes its arrays from the matches it found, so it has no such limits to carry.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cache/block_reader.h"
#include "results/result_set.h"
#include "search/queryer.h"
#include "search/search_criteria.h"

namespace corvella {

class NameIndex {
  public:
    enum class BuildOutcome { Built, Damaged };

    // Reads every entry below the drives. Damaged (and no index) when the walk would meet a
    // fault, a block outside the folder area or a block reached twice. Throws std::bad_alloc.
    static std::unique_ptr<NameIndex> Build(const CacheView& view, BuildOutcome& outcome);

    struct Answer {
        QueryOutcome outcome = QueryOutcome::Done;
        uint64_t matches = 0;
        uint64_t total_size_kb = 0;
    };

    // One query, as CQueryer::RunQuery with BuildFilterChain(criteria) would answer it:
    // `pattern` is already folded (QueryPattern), `location` as typed. Records go to `results`
    // unless `count_only`. Throws std::bad_alloc.
    Answer Run(const SearchCriteria& criteria, const std::u16string& pattern,
               std::u16string_view location, char16_t separator, bool count_only, unsigned threads,
               ResultSet& results) const;

    size_t entries() const { return parent_.size(); }
    size_t distinct_names() const { return distinct_names_; }
    // The bytes its arrays hold.
    size_t MemoryBytes() const;

  private:
    static constexpr uint32_t kNone = 0xFFFFFFFF;
    static constexpr uint32_t kFolderBit = 0x80000000;

    struct Range {
        uint32_t begin = 0, end = 0;
        uint32_t top_parent = kNone;  // the entries directly in the searched location have it
    };
    struct Part;  // what one thread's stretch of the range came to

    // A name by its place in the pool.
    std::u16string_view NameAt(uint32_t at) const { return std::u16string_view(pool_.data() + at); }
    std::u16string_view Name(uint32_t entry) const { return NameAt(name_at_[entry] & ~kFolderBit); }
    bool IsFolder(uint32_t entry) const { return (name_at_[entry] & kFolderBit) != 0; }
    // Where a folder's subtree begins: the entries from there up to it all descend from it.
    uint32_t SubtreeBegin(uint32_t folder) const;
    bool HasBlock(uint32_t folder) const {
        return !std::binary_search(no_block_.begin(), no_block_.end(), folder);
    }

    bool FindLocation(std::u16string_view location, char16_t separator, uint32_t& folder) const;
    // The entries directly in `folder` (kNone: the drives), in block order.
    template <typename Visit>
    void ForEachChild(uint32_t folder, Visit visit) const;
    // The folder's path as the walk spells it, with its separator.
    void AppendPath(std::u16string& to, uint32_t folder, char16_t separator) const;

    void ScanPart(const Range& range, const std::vector<uint8_t>& verdicts,
                  const SearchCriteria& criteria, char16_t separator, bool count_only,
                  Part& part) const;
    // Writes the part's records from `record` on, their texts into `pool` at pool offset
    // `pool_at`.
    void FillPart(const Part& part, char16_t separator, ResultRecord* record, char16_t* pool,
                  uint32_t pool_at) const;

    // Per entry, in answer order.
    std::vector<uint32_t> name_at_;  // the name's place in the pool; the top bit marks a folder
    std::vector<uint32_t> parent_;   // kNone for a drive
    std::vector<uint32_t> size_kb_;
    std::vector<uint64_t> time_;
    // The folders the file has no block for (never listed), in order.
    std::vector<uint32_t> no_block_;
    // The distinct names, each ended by a NUL, one after another.
    std::vector<char16_t> pool_;
    size_t distinct_names_ = 0;
};

}  // namespace corvella
