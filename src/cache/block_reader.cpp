#include "cache/block_reader.h"

namespace corvella {

std::u16string EntryView::Name(const CacheView& view) const {
    std::u16string name(name_units, u'\0');
    for (uint32_t i = 0; i < name_units; ++i) name[i] = NameUnit(view, i);
    return name;
}

const char* DescribeBlockFault(BlockFault fault) {
    switch (fault) {
        case BlockFault::None:
            return "no fault";
        case BlockFault::OffsetOutsideFile:
            return "the block lies outside the file";
        case BlockFault::CapacityTooSmall:
            return "the block's capacity is below 6 bytes";
        case BlockFault::CapacityPastEnd:
            return "the block runs past the end of the file";
        case BlockFault::NameUnterminated:
            return "a name runs past the end of its block";
        case BlockFault::RecordPastEnd:
            return "a record runs past the end of its block";
        case BlockFault::EndTagMissing:
            return "the block has no end tag";
    }
    return "unknown fault";
}

BlockReader::BlockReader(const CacheView& view, uint32_t block_offset)
    : view_(view), block_(block_offset), pos_(block_offset + 4) {
    // 64-bit sums: an offset near 4 GiB must not wrap into the file.
    if (uint64_t(block_offset) + 4 > view.size) {
        Fail(BlockFault::OffsetOutsideFile, block_offset);
        return;
    }
    capacity_ = Load32(view.base + block_offset);
    if (capacity_ == 0 && block_offset == kRootBlockOffset) {
        limit_ = view.size < kFirstBlockOffset ? view.size : kFirstBlockOffset;
        return;
    }
    if (capacity_ < kEmptyBlockBytes) {
        Fail(BlockFault::CapacityTooSmall, block_offset);
        return;
    }
    if (uint64_t(block_offset) + capacity_ > view.size) {
        Fail(BlockFault::CapacityPastEnd, block_offset);
        return;
    }
    limit_ = block_offset + capacity_;
}

bool BlockReader::Fail(BlockFault fault, uint32_t at) {
    fault_ = fault;
    fault_offset_ = at;
    done_ = true;
    return false;
}

bool BlockReader::Next(EntryView& entry) {
    if (done_) return false;
    if (uint64_t(pos_) + 2 > limit_) return Fail(BlockFault::EndTagMissing, block_);
    const uint8_t* base = view_.base;
    const uint16_t tag = Load16(base + pos_);
    if (tag == kTagEnd) {
        done_ = true;
        return false;
    }
    // The name: units up to its NUL, all inside the block.
    const uint32_t name = pos_ + 2;
    uint32_t at = name;
    while (true) {
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

bool BlockReader::NextEntry(EntryView& entry) {
    while (Next(entry)) {
        if (entry.tag == kTagFile || entry.tag == kTagFolder) return true;
    }
    return false;
}

}  // namespace corvella
