// The cache file, byte for byte. Every reader and writer of the file works from this header.
//
// The file is a flat little-endian image without alignment or padding, addressed by unsigned
// 32-bit byte offsets from its first byte, so it is used through a mapping of the whole file and
// can never pass 4 GiB.
//
//   0          CacheHeader (marker, data end, file size, free-list head)
//   132        RootBlock: a FolderBlock whose entries are the drives
//   131,072    folder blocks; a fresh build writes them in depth-first pre-order
//
// FolderBlock at offset B:   u32 capacity_bytes | EntryRecord... | u16 end tag 0
// EntryRecord for a name of n UTF-16 units (2n + 16 bytes):
//   u16 tag | u16 name[n] | u16 0 | u32 value | u64 last-write FILETIME (low half first)
//   value: a file's size in KiB; a folder's block offset or NoBlock.
// A free block keeps its capacity; the u32 after it links to the next free block.
#pragma once

#include <cstdint>
#include <cstring>

namespace corvella {

// Header field offsets.
inline constexpr uint32_t kMarkerOffset = 0;          // u32, always kMarker
inline constexpr uint32_t kDataEndOffset = 100;       // u32, first byte after the last block
inline constexpr uint32_t kFileSizeOffset = 104;      // u32, size the file is extended to
inline constexpr uint32_t kFreeListHeadOffset = 128;  // u32, first free block or NoBlock
inline constexpr uint32_t kRootBlockOffset = 132;     // the drives' FolderBlock
inline constexpr uint32_t kRootEntriesOffset = kRootBlockOffset + 4;
// Folder blocks start here; the root block and the header stay below it.
inline constexpr uint32_t kFirstBlockOffset = 131072;

inline constexpr uint32_t kMarker = 1;
inline constexpr uint32_t NoBlock = 0xFFFFFFFF;
// The largest offset the format can address: the file ends at or before this byte.
inline constexpr uint64_t kMaxCacheBytes = 0xFFFFFFFF;

enum EntryTag : uint16_t {
    kTagEnd = 0,  // the end tag of a block, not an entry
    kTagFile = 1,
    kTagFolder = 2,
    kTagRemovedFolder = 3,  // an old block's entry whose sub-block now belongs to a newer block
};

// Capacity field + end tag: the size of an empty block.
inline constexpr uint32_t kEmptyBlockBytes = 6;
// Tag (2) + NUL (2) + value (4) + time (8).
inline constexpr uint32_t kRecordFixedBytes = 16;
// Blocks smaller than this are never put on the free list.
inline constexpr uint32_t kMinFreeBlockBytes = 51;
// The size an EntryInfo of a folder carries: folders have none.
inline constexpr uint32_t kFolderSizeKiB = 0xFFFFFFFF;

constexpr uint32_t RecordBytes(uint32_t name_units) {
    return 2 * name_units + kRecordFixedBytes;
}
// Offsets of a record's fields, from the record's start.
constexpr uint32_t NameFieldOffset() {
    return 2;
}
constexpr uint32_t ValueFieldOffset(uint32_t name_units) {
    return 2 * name_units + 4;
}
constexpr uint32_t TimeFieldOffset(uint32_t name_units) {
    return 2 * name_units + 8;
}

// KiB as the cache counts them: 0 for an empty file, else whole KiB plus one, so a 1,024-byte
// file counts 2. Sizes past what a u32 holds saturate instead of wrapping.
constexpr uint32_t SizeInKiB(uint64_t bytes) {
    if (bytes == 0) return 0;
    const uint64_t kib = bytes / 1024 + 1;
    return kib > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(kib);
}

// Little-endian access to unaligned fields of the mapped image.
inline uint16_t Load16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t Load32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline uint64_t Load64(const uint8_t* p) {
    return uint64_t(Load32(p)) | (uint64_t(Load32(p + 4)) << 32);
}
inline void Store16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void Store32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
inline void Store64(uint8_t* p, uint64_t v) {
    Store32(p, uint32_t(v));
    Store32(p + 4, uint32_t(v >> 32));
}

}  // namespace corvella
