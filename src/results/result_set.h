// The records of one search and the pool their texts live in.
//
// Records refer to their texts by offsets into the pool, so the pool may be shrunk or moved
// without touching them. A record's location is its folder's full path with a trailing separator
// (empty for a drive entry); its full path is location + name, or name + separator for a drive.
#pragma once

#include <cstdint>
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

class ResultSet {
  public:
    std::vector<ResultRecord> records;
    std::vector<char16_t> pool;

    size_t size() const { return records.size(); }
    std::u16string_view Location(const ResultRecord& r) const { return Text(r.location); }
    std::u16string_view Name(const ResultRecord& r) const { return Text(r.name); }
    std::u16string FullPath(const ResultRecord& r, char16_t separator) const;

    void Clear();

  private:
    std::u16string_view Text(uint32_t offset) const;
};

}  // namespace corvella
