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

}  // namespace corvella
