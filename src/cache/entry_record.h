// Writing one entry record: the one way every writer of the cache file turns an entry into bytes.
#pragma once

#include <cstdint>
#include <string_view>

#include "cache/cache_format.h"

namespace corvella {

struct EntryInfo {
    std::u16string_view name;            // the entry's own name, no path, no NUL
    uint32_t size_kib = kFolderSizeKiB;  // files: SizeInKiB; folders: kFolderSizeKiB
    bool folder = false;
    uint64_t last_write = 0;  // FILETIME
};

// Writes the record at `out`, which must have RecordBytes(name.size()) bytes, and returns its
// length. A folder's value field is written as NoBlock: a folder whose block never gets written
// (skipped, not entered, or abandoned) reads as an empty folder instead of pointing anywhere.
// Its offset is `ValueFieldOffset(name.size())` from `out`, to be filled in later.
uint32_t WriteEntryRecord(uint8_t* out, const EntryInfo& entry);

}  // namespace corvella
