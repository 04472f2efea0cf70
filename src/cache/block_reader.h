// The bounds-checked reader of folder blocks. Every reader of a cache file walks blocks with it,
// so a damaged file yields a fault instead of a read past the mapping.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "cache/cache_format.h"

namespace corvella {

// The mapped bytes of a cache file.
struct CacheView {
    const uint8_t* base = nullptr;
    uint32_t size = 0;  // bytes mapped; files never exceed kMaxCacheBytes
};

// Several UTF-16 units of the image tested at once: eight in an SSE2 register where the target
// has one (every x86-64), else four in a 64-bit word. A test gives a mask with one bit per unit,
// the lowest unit lowest; FirstUnit turns its lowest bit into the unit's index. The word form
// may also mark a unit above the first true one (a borrow carries into it), so callers take
// the lowest bit as exact and recheck any other before trusting it.
namespace unit_lanes {
#if defined(__SSE2__)
using Units = __m128i;
using Mask = uint32_t;
inline constexpr uint32_t kCount = 8;
inline constexpr int kShift = 1;  // bits of the mask per unit: 2, the low one kept
inline Units Load(const uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
inline Units Splat(char16_t c) {
    return _mm_set1_epi16(static_cast<short>(c));
}
inline Mask Equal(Units v, Units want) {
    return Mask(_mm_movemask_epi8(_mm_cmpeq_epi16(v, want))) & 0x5555u;
}
// Units of 0x80 and above.
inline Mask NonAscii(Units v) {
    const __m128i high = _mm_and_si128(v, _mm_set1_epi16(static_cast<short>(0xFF80)));
    return ~Mask(_mm_movemask_epi8(_mm_cmpeq_epi16(high, _mm_setzero_si128()))) & 0x5555u;
}
#else
using Units = uint64_t;
using Mask = uint64_t;
inline constexpr uint32_t kCount = 4;
inline constexpr int kShift = 4;  // the top bit of each 16
inline constexpr uint64_t kLow = 0x0001000100010001ull, kHigh = 0x8000800080008000ull;
inline Units Load(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}
inline Units Splat(char16_t c) {
    return kLow * c;
}
inline Mask Equal(Units v, Units want) {
    const uint64_t x = v ^ want;
    return (x - kLow) & ~x & kHigh;
}
// Every unit when any is 0x80 or above: the callers recheck each marked unit.
inline Mask NonAscii(Units v) {
    return (v & 0xFF80FF80FF80FF80ull) ? kHigh : 0;
}
#endif
inline Mask Zero(Units v) {
    return Equal(v, Splat(0));
}
inline uint32_t FirstUnit(Mask m) {
    return uint32_t(std::countr_zero(m)) >> kShift;
}
// The mask's bits for the first `units` units (all of them from kCount on).
inline Mask Below(uint32_t units) {
    return units >= kCount ? ~Mask(0) : (Mask(1) << (units << kShift)) - 1;
}
}  // namespace unit_lanes

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
inline constexpr uint32_t kPrefetchAhead = 512;
inline bool BlockReader::Next(EntryView& entry) {
    if (done_) return false;
    if (uint64_t(pos_) + 2 > limit_) return Fail(BlockFault::EndTagMissing, block_);
    const uint8_t* base = view_.base;
    // Blocks are read front to back: ask for the bytes a few records on before they are needed.
    // A hint only, never a fault, even past the mapping's end.
    __builtin_prefetch(base + pos_ + kPrefetchAhead);
    const uint16_t tag = Load16(base + pos_);
    if (tag == kTagEnd) {
        done_ = true;
        return false;
    }
    // The name: units up to its NUL, all inside the block. Several units are tested at a time
    // while the block holds them, which is where nearly all of a walk's time would otherwise go.
    const uint32_t name = pos_ + 2;
    uint32_t at = name;
    bool found = false;
    while (uint64_t(at) + 2 * unit_lanes::kCount <= limit_) {
        const unit_lanes::Mask zero = unit_lanes::Zero(unit_lanes::Load(base + at));
        if (zero != 0) {
            at += unit_lanes::FirstUnit(zero) * 2;
            found = true;
            break;
        }
        at += 2 * unit_lanes::kCount;
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
