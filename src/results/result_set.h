// The records of one search and the pool their texts live in.
//
// Records refer to their texts by offsets into the pool, so the pool may be shrunk or moved
// without touching them. A record's location is its folder's full path with a trailing separator
// (empty for a drive entry); its full path is location + name, or name + separator for a drive.
//
// A listing of the in-memory index may come pending: the entries it found, in order, and the
// source that writes their records. Writing a million records and their texts costs several
// times what finding them does, and a list view shows a screenful, so a pending set reads each
// row it is asked for from its source, and writes every record only when a reader needs them all
// (sorting, saving, printing): Complete(). Until then `records` and `pool` are empty. The rows of
// a pending set may be taken out and given icons; writing them keeps both.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace corvella {

inline constexpr int32_t kIconUnresolved = -1024;

struct ResultRecord {
    uint32_t location = 0;  // pool offset of the NUL-terminated location text
    int32_t icon = kIconUnresolved;
    uint32_t name = 0;     // pool offset of the NUL-terminated name
    uint32_t size_kb = 0;  // a folder: the total of its whole subtree
    uint8_t is_folder = 0;
    uint64_t last_write = 0;  // FILETIME, UTC
};

// One row read whole, its texts copied.
struct ResultRow {
    std::u16string name;
    std::u16string location;  // empty for a drive
    uint32_t size_kb = 0;
    bool is_folder = false;
    uint64_t last_write = 0;  // FILETIME, UTC
    int32_t icon = kIconUnresolved;
};

// A full path by the rule above.
std::u16string FullPathOf(std::u16string_view location, std::u16string_view name,
                          char16_t separator);

class ResultSet;

// What writes the records of a pending set: entries are its own numbers.
class RecordSource {
  public:
    virtual ~RecordSource() = default;
    // Appends the records of `entries`, in order, and their texts to out.records and out.pool.
    // Throws std::bad_alloc.
    virtual void Write(std::span<const uint32_t> entries, ResultSet& out) const = 0;
    // One entry's row, its icon unresolved. Throws std::bad_alloc.
    virtual ResultRow Row(uint32_t entry) const = 0;
    virtual uint32_t SizeKB(uint32_t entry) const = 0;
};

class ResultSet {
  public:
    std::vector<ResultRecord> records;
    std::vector<char16_t> pool;
    // Where a source may write parts of the records before appending them, kept with the set's
    // own arrays for the next listing: fresh pages cost more to fault in than the writing.
    struct Spare {
        std::vector<ResultRecord> records;
        std::vector<char16_t> pool;
    };
    std::vector<Spare> spares;

    size_t size() const { return source_ ? entries_.size() : records.size(); }
    bool pending() const { return source_ != nullptr; }

    std::u16string_view Location(const ResultRecord& r) const { return Text(r.location); }
    std::u16string_view Name(const ResultRecord& r) const { return Text(r.name); }
    std::u16string FullPath(const ResultRecord& r, char16_t separator) const;

    // Row `i` (below size()), written or pending. Throws std::bad_alloc.
    ResultRow Row(size_t i) const;
    uint32_t SizeKB(size_t i) const;
    void SetIcon(size_t i, int32_t icon);
    void EraseRow(size_t i);

    // Empties the set, keeping its memory, and makes it pending on `source`: the caller appends
    // the entries, in order, to the vector returned.
    std::vector<uint32_t>& StartPending(std::shared_ptr<const RecordSource> source);
    // Writes the records of a pending set; no-op for a written one. Throws std::bad_alloc, and
    // the set stays pending then.
    void Complete();
    // Empties the set, keeping its memory.
    void Reset();
    // Empties the set and gives its memory back.
    void Clear();

  private:
    std::u16string_view Text(uint32_t offset) const;

    std::shared_ptr<const RecordSource> source_;
    std::vector<uint32_t> entries_;
    std::vector<int32_t> icons_;  // empty until a pending row is given an icon
};

}  // namespace corvella
