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

bool NameHint::AddTail(std::u16string_view tail) {
    if (tails == kMaxTails || tail.empty() || tail.size() > 4) return false;
    for (char16_t unit : tail)
        if (unit < 0x20 || unit > 0x7E) return false;
    // The tail's last unit in the word's last lane, as a name's last unit stands before its NUL.
    for (size_t j = 0; j < tail.size(); ++j) {
        const char16_t unit = tail[j];
        const uint32_t lane = uint32_t(16 * (4 - tail.size() + j));
        tail_word[tails] |= uint64_t(unit) << lane;
        tail_lanes[tails] |= uint64_t(0xFFFF) << lane;
        if (unit >= u'a' && unit <= u'z') tail_fold[tails] |= uint64_t(0x20) << lane;
    }
    ++tails;
    return true;
}

namespace {

bool FitsBytes(const NameHint& hint) {
    const auto fits = [](char16_t unit, char16_t capital) {
        const char16_t differ = unit ^ capital;
        return unit < 0x7F && capital < 0x7F && (differ == 0 || differ == 0x20);
    };
    return fits(hint.first, hint.first_twin) && fits(hint.second, hint.second_twin);
}

}  // namespace

BlockReader::BlockReader(const CacheView& view, uint32_t block_offset, const NameHint* hint)
    : view_(view),
      hint_(hint),
      byte_hint_(hint && FitsBytes(*hint)),
      window_(block_offset + 6 - kWindowBytes),
      block_(block_offset),
      pos_(block_offset + 4) {
    // A tails hint reads the eight bytes before a name's NUL: for a block at the file's first
    // two bytes, some of those lie before the file. Without the hint every name is tested.
    if (hint && hint->tails && block_offset < 2) hint_ = nullptr;
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

BlockReader::Window BlockReader::MakeWindowByUnits(const CacheView& view, uint32_t at,
                                                   const NameHint* hint) {
    // Unit by unit: targets without SSE2, and the last bytes of the mapping, which a whole window
    // would read past. Units past the mapping lie past every block: neither 0 nor allowed.
    uint64_t zero = 0, first = 0, second = 0, first_exact = 0, second_exact = 0;
    for (uint32_t i = 0; i < kWindowUnits && uint64_t(at) + 2 * i + 2 <= view.size; ++i) {
        const char16_t c = Load16(view.base + at + 2 * i);
        const uint64_t bit = uint64_t(1) << i;
        if (c == 0) zero |= bit;
        if (!hint) continue;
        if (hint->tails) {
            if (c >= 0x80) first |= bit;  // a tails hint's places: units past ASCII
            continue;
        }
        const bool is_first = c == hint->first || c == hint->first_twin;
        const bool is_second = c == hint->second || c == hint->second_twin;
        if (c >= 0x80 || is_first) first |= bit;
        if (c >= 0x80 || is_second) second |= bit;
        if (is_first) first_exact |= bit;
        if (is_second) second_exact |= bit;
    }
    if (hint && hint->tails) return Window{zero, first, 0};
    return CombineWindow(hint, zero, first, second, first_exact, second_exact);
}

bool BlockReader::Fail(BlockFault fault, uint32_t at) {
    fault_ = fault;
    fault_offset_ = at;
    done_ = true;
    return false;
}

}  // namespace corvella
