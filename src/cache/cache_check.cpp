#include "cache/cache_check.h"

#include <algorithm>
#include <cstdio>
#include <unordered_set>
#include <vector>

namespace corvella {

namespace {

std::string Num(uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "%u", v);
    return text;
}

class Checker {
  public:
    explicit Checker(const CacheView& view) : view_(view) {}

    CacheCheckReport Run() {
        if (!Header()) return report_;
        // Blocks are read only up to data end: past it nothing was ever written.
        data_ = CacheView{view_.base, report_.data_end};
        if (!WalkTree()) return report_;
        WalkFreeList();
        if (report_.ok) CheckOverlaps();
        return report_;
    }

    CacheCheckReport HeaderOnly() {
        Header();
        return report_;
    }

  private:
    bool Header() {
        if (view_.size < kFirstBlockOffset) {
            return Refuse("the file is " + Num(view_.size) + " bytes, shorter than the " +
                         Num(kFirstBlockOffset) + " bytes of header and drive list");
        }
        if (Load32(view_.base + kMarkerOffset) != kMarker)
            return Refuse("the header's marker is not 1");
        report_.data_end = Load32(view_.base + kDataEndOffset);
        report_.file_size = Load32(view_.base + kFileSizeOffset);
        if (report_.data_end < kFirstBlockOffset)
            return Refuse("the header's data end " + Num(report_.data_end) +
                         " lies before the first folder block");
        if (report_.data_end > report_.file_size)
            return Refuse("the header's data end " + Num(report_.data_end) +
                         " is past its file size " + Num(report_.file_size));
        if (report_.file_size > view_.size)
            return Refuse("the header says the file is " + Num(report_.file_size) +
                         " bytes, but it is only " + Num(view_.size));
        return true;
    }

    bool Refuse(std::string text) {
        Fault(std::move(text));
        return false;
    }

    CacheCheckReport Fault(std::string text) {
        if (report_.ok) {
            report_.ok = false;
            report_.fault = std::move(text);
        }
        return report_;
    }

    bool BlockFault(const BlockReader& reader) {
        Fault("block at offset " + Num(reader.block_offset()) + ": " +
              DescribeBlockFault(reader.fault()) + " (at offset " + Num(reader.fault_offset()) +
              ")");
        return false;
    }

    // A folder's block must lie in the folder area and be reached only once.
    bool Claim(uint32_t block, uint32_t from_record) {
        if (block < kFirstBlockOffset || block >= data_.size) {
            Fault("the folder record at offset " + Num(from_record) + " points to offset " +
                  Num(block) + ", outside the folder blocks");
            return false;
        }
        if (!seen_.insert(block).second) {
            Fault("the block at offset " + Num(block) + " is reached twice (record at offset " +
                  Num(from_record) + "): the folders form a cycle or share a block");
            return false;
        }
        return true;
    }

    bool WalkTree() {
        std::vector<uint32_t> pending;
        BlockReader root(data_, kRootBlockOffset);
        EntryView e;
        while (root.NextEntry(e)) {
            if (!e.IsFolder()) {
                Fault("the drive list holds a file record at offset " + Num(e.record_offset));
                return false;
            }
            ++report_.drives;
            if (e.value != NoBlock) {
                if (!Claim(e.value, e.record_offset)) return false;
                pending.push_back(e.value);
            }
        }
        if (root.fault() != corvella::BlockFault::None) return BlockFault(root);
        if (root.end_offset() > kFirstBlockOffset) {
            Fault("the drive list runs into the folder blocks");
            return false;
        }
        while (!pending.empty()) {
            const uint32_t block = pending.back();
            pending.pop_back();
            BlockReader reader(data_, block);
            while (reader.NextEntry(e)) {
                if (e.IsFile()) {
                    ++report_.files;
                    report_.total_kib += e.value;
                } else {
                    ++report_.folders;
                    if (e.value == NoBlock) continue;
                    if (!Claim(e.value, e.record_offset)) return false;
                    pending.push_back(e.value);
                }
            }
            if (reader.fault() != corvella::BlockFault::None) return BlockFault(reader);
            extents_.push_back({block, reader.capacity()});
        }
        return true;
    }

    // Every byte belongs to one block at most: blocks that overlap would let an update of one
    // overwrite the other.
    void CheckOverlaps() {
        std::sort(extents_.begin(), extents_.end());
        for (size_t i = 1; i < extents_.size(); ++i) {
            const auto& [before, before_bytes] = extents_[i - 1];
            if (uint64_t(before) + before_bytes > extents_[i].first) {
                Fault("the blocks at offsets " + Num(before) + " and " + Num(extents_[i].first) +
                      " overlap");
                return;
            }
        }
    }

    void WalkFreeList() {
        std::unordered_set<uint32_t> free_seen;
        uint32_t at = Load32(view_.base + kFreeListHeadOffset);
        while (at != NoBlock) {
            if (at < kFirstBlockOffset || uint64_t(at) + 8 > data_.size) {
                Fault("the free list points to offset " + Num(at) + ", outside the folder blocks");
                return;
            }
            if (!free_seen.insert(at).second) {
                Fault("the free list returns to offset " + Num(at) + ": it is a cycle");
                return;
            }
            if (seen_.count(at)) {
                Fault("the free block at offset " + Num(at) + " is still a folder's block");
                return;
            }
            const uint32_t capacity = Load32(view_.base + at);
            if (capacity < 8 || uint64_t(at) + capacity > data_.size) {
                Fault("the free block at offset " + Num(at) + " has a capacity of " +
                      Num(capacity) + " bytes, outside the file");
                return;
            }
            ++report_.free_blocks;
            report_.free_bytes += capacity;
            extents_.push_back({at, capacity});
            at = Load32(view_.base + at + 4);
        }
    }

    CacheView view_;
    CacheView data_;
    CacheCheckReport report_;
    std::unordered_set<uint32_t> seen_;
    std::vector<std::pair<uint32_t, uint32_t>> extents_;  // (offset, capacity) of every block
};

}  // namespace

CacheCheckReport CheckCache(const CacheView& view) {
    return Checker(view).Run();
}

CacheCheckReport CheckCacheHeader(const CacheView& view) {
    return Checker(view).HeaderOnly();
}

}  // namespace corvella
