// NameIndex: every entry of a sound cache file, read once into arrays laid out for scanning, so
// that a search inside a running program costs a scan of memory instead of a walk of the file.
//
// Layout. Entries are numbered in the order a walk answers them: a folder right after its whole
// subtree, siblings in block order. A folder's subtree is then one contiguous range ending just
// before it, and a search of any location is a scan of one range, cut into equal parts for the
// threads and put back together in order. Per entry there is a name id (its top bit marks a
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
               std::u16string_view location, char16_t separator, bool count_only,
               unsigned threads, ResultSet& results) const;

    size_t entries() const { return parent_.size(); }
    size_t distinct_names() const { return name_at_.size(); }
    // The bytes its arrays hold.
    size_t MemoryBytes() const;

  private:
    static constexpr uint32_t kNone = 0xFFFFFFFF;
    static constexpr uint32_t kFolderBit = 0x80000000;
    static constexpr uint32_t kNoBlockBit = 0x80000000;

    struct Range {
        uint32_t begin = 0, end = 0;
        uint32_t top_parent = kNone;  // the entries directly in the searched location have it
    };
    struct Part;  // what one thread's stretch of the range came to

    const char16_t* NameText(uint32_t id) const { return pool_.data() + name_at_[id]; }
    uint32_t NameUnits(uint32_t id) const {
        const char16_t* p = NameText(id);
        return uint32_t(p[-2]) | uint32_t(p[-1]) << 16;
    }
    std::u16string_view Name(uint32_t entry) const {
        const uint32_t id = name_id_[entry] & ~kFolderBit;
        return {NameText(id), NameUnits(id)};
    }
    bool IsFolder(uint32_t entry) const { return (name_id_[entry] & kFolderBit) != 0; }
    // For a folder: where its subtree begins, and whether it has a block (kNoBlockBit clear).
    uint32_t FolderInfo(uint32_t folder) const;

    bool FindLocation(std::u16string_view location, char16_t separator, uint32_t& folder) const;
    // The entries directly in `folder` (kNone: the drives), in block order.
    template <typename Visit>
    void ForEachChild(uint32_t folder, Visit visit) const;
    // The folder's path as the walk spells it, with its separator.
    void AppendPath(std::u16string& to, uint32_t folder, char16_t separator) const;

    void ScanPart(const Range& range, const std::vector<uint8_t>& verdicts,
                  const SearchCriteria& criteria, char16_t separator, bool count_only,
                  Part& part) const;

    // Per entry, in answer order.
    std::vector<uint32_t> name_id_;  // the top bit marks a folder
    std::vector<uint32_t> parent_;   // kNone for a drive
    std::vector<uint32_t> size_kb_;
    std::vector<uint64_t> time_;
    // Per folder, by entry number: {entry, subtree begin | kNoBlockBit}.
    std::vector<std::pair<uint32_t, uint32_t>> folders_;
    // Distinct names: each is [units low, units high, text..., 0] in the pool.
    std::vector<char16_t> pool_;
    std::vector<uint32_t> name_at_;  // id -> the pool offset of its text
};

}  // namespace corvella
