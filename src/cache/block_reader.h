// The bounds-checked reader of folder blocks. Every reader of a cache file walks blocks with it,
// so a damaged file yields a fault instead of a read past the mapping.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>

#include "cache/cache_format.h"

namespace corvella {

// The mapped bytes of a cache file.
struct CacheView {
    const uint8_t* base = nullptr;
    uint32_t size = 0;  // bytes mapped; files never exceed kMaxCacheBytes
};

// One record, by offsets into the view (names are unaligned UTF-16 in the image).
struct EntryView {
    uint32_t record_offset = 0;
    uint16_t tag = 0;
    uint32_t name_offset = 0;  // first unit of the name
    uint32_t name_units = 0;   // without the NUL
    uint32_t value = 0;
    uint64_t last_write = 0;

    bool IsFile() const { return tag == kTagFile; }
    bool IsFolder() const { return tag == kTagFolder; }
    uint32_t value_offset() const { return record_offset + ValueFieldOffset(name_units); }
    uint32_t end_offset() const { return record_offset + RecordBytes(name_units); }
    char16_t NameUnit(const CacheView& view, uint32_t i) const {
        return Load16(view.base + name_offset + 2 * i);
    }
    std::u16string Name(const CacheView& view) const;
};

enum class BlockFault {
    None,
    OffsetOutsideFile,  // the block starts at or past the end of the file
    CapacityTooSmall,   // below the 6 bytes of an empty block
    CapacityPastEnd,    // the block claims bytes past the end of the file
    NameUnterminated,   // a name runs to the end of the block without its NUL
    RecordPastEnd,      // a record's value and time run past the end of the block
    EndTagMissing,      // the records fill the block and no end tag follows
};

const char* DescribeBlockFault(BlockFault fault);

class BlockReader {
  public:
    // The root block's capacity may be 0 while a build is still copying drive by drive; it is
    // then read up to the first folder block.
    BlockReader(const CacheView& view, uint32_t block_offset);

    // The next record, tags 1, 2, 3 and any other alike; false at the end tag or on a fault.
    bool Next(EntryView& entry);
    // The next record with tag 1 or 2; the others are skipped as every walk must.
    bool NextEntry(EntryView& entry);

    BlockFault fault() const { return fault_; }
    // Where the fault was found (the record or the block).
    uint32_t fault_offset() const { return fault_offset_; }
    uint32_t block_offset() const { return block_; }
    uint32_t capacity() const { return capacity_; }
    // After Next returned false without a fault: the byte after the end tag.
    uint32_t end_offset() const { return pos_ + 2; }

  private:
    bool Fail(BlockFault fault, uint32_t at);

    CacheView view_;
    uint32_t block_ = 0;
    uint32_t capacity_ = 0;
    uint32_t limit_ = 0;  // first byte past the block
    uint32_t pos_ = 0;    // the next record's tag
    BlockFault fault_ = BlockFault::None;
    uint32_t fault_offset_ = 0;
    bool done_ = false;
};

// Inline: a query calls these once per entry of the cache.
inline bool BlockReader::Next(EntryView& entry) {
    if (done_) return false;
    if (uint64_t(pos_) + 2 > limit_) return Fail(BlockFault::EndTagMissing, block_);
    const uint8_t* base = view_.base;
    const uint16_t tag = Load16(base + pos_);
    if (tag == kTagEnd) {
        done_ = true;
        return false;
    }
    // The name: units up to its NUL, all inside the block. Four units are tested at a time while
    // eight bytes remain, which is where nearly all of a walk's time would otherwise go.
    const uint32_t name = pos_ + 2;
    uint32_t at = name;
    constexpr uint64_t kLow = 0x0001000100010001ull, kHigh = 0x8000800080008000ull;
    bool found = false;
    while (uint64_t(at) + 8 <= limit_) {
        uint64_t v;
        std::memcpy(&v, base + at, 8);
        const uint64_t zero = (v - kLow) & ~v & kHigh;  // the lowest set bit marks the first zero
        if (zero != 0) {
            at += uint32_t(std::countr_zero(zero) / 16) * 2;
            found = true;
            break;
        }
        at += 8;
    }
    while (!found) {
        if (uint64_t(at) + 2 > limit_) return Fail(BlockFault::NameUnterminated, pos_);
        if (Load16(base + at) == 0) break;
        at += 2;
    }
    const uint32_t units = (at - name) / 2;
    // Value and time, and room for at least the end tag after them.
    if (uint64_t(pos_) + RecordBytes(units) + 2 > limit_)
        return Fail(BlockFault::RecordPastEnd, pos_);
    entry.record_offset = pos_;
    entry.tag = tag;
    entry.name_offset = name;
    entry.name_units = units;
    entry.value = Load32(base + pos_ + ValueFieldOffset(units));
    entry.last_write = Load64(base + pos_ + TimeFieldOffset(units));
    pos_ += RecordBytes(units);
    return true;
}

inline bool BlockReader::NextEntry(EntryView& entry) {
    while (Next(entry)) {
        if (entry.tag == kTagFile || entry.tag == kTagFolder) return true;
    }
    return false;
}

}  // namespace corvella
