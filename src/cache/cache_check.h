// A whole-file verification of a cache file: every block reachable from the drive list and every
// block of the free list, read with the bounds-checked reader.
#pragma once

#include <cstdint>
#include <string>

#include "cache/block_reader.h"

namespace corvella {

struct CacheCheckReport {
    bool ok = true;
    std::string fault;  // plain description of the first fault found
    uint32_t drives = 0;
    uint64_t folders = 0;  // folder entries below the drives
    uint64_t files = 0;
    uint64_t total_kib = 0;
    uint32_t data_end = 0;   // bytes used, from the header
    uint32_t file_size = 0;  // the header's file size
    uint64_t free_blocks = 0;
    uint64_t free_bytes = 0;
};

CacheCheckReport CheckCache(const CacheView& view);
// The header alone, against the file's size: what an update checks before it trusts a file that
// may have been cut short or replaced since the last one.
CacheCheckReport CheckCacheHeader(const CacheView& view);

}  // namespace corvella
