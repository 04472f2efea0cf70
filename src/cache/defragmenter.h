// CCacheDefragmenter rewrites the cache file compactly, as a build would have written it.
//
// It reads only the mapped cache file, never the disk being indexed. Every live entry is copied
// into a private working file (the cache path + ".frag", delete-on-close), one block per folder in
// depth-first pre-order, each block exactly as large as its entries; removed-folder entries, free
// blocks and the slack that updates leave behind are not copied. The result replaces the cache file
// as a build's copy does, written beside it and renamed over it, so a failure at any step leaves
// the old file in place.
//
// The working file is mapped at the cache file's size rounded down to whole MiB plus one MiB. The
// live part never needs more, except that every folder without a block gets an empty one (6 bytes),
// so the mapping grows by a MiB whenever a record would not fit.
//
// A damaged cache file never crashes or hangs the copy: blocks are read with the bounds-checked
// reader, and a folder whose block lies outside the folder area, is unreadable from its start, or
// was copied already (a cycle or a shared block) gets an empty block. A block damaged further on
// keeps the entries read before the fault. The walk keeps its own stack, so depth costs memory, not
// the thread's stack.
//
// It takes no lock: whoever runs it pauses change processing for its length.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "cache/block_reader.h"
#include "cache/sinks.h"
#include "platform/file.h"

namespace corvella {

class CCacheDefragmenter {
  public:
    // Rewrites the cache file at `cache_path`.
    CCacheDefragmenter(ErrorSink& errors, std::u16string cache_path)
        : errors_(errors), cache_path_(std::move(cache_path)) {}
    CCacheDefragmenter(const CCacheDefragmenter&) = delete;
    CCacheDefragmenter& operator=(const CCacheDefragmenter&) = delete;

    // The whole operation: 0, or -1 when it could not start (the
    // cache file or the working file could not be opened). UpdateCacheExit is "FALSE" only while
    // it runs; CacheFileSize is written when the compact file has replaced the old one.
    int Defragment();

    // The steps, in the order Defragment takes them.
    bool OpenForDefrag();
    // Copies the source block at `source_block` and everything below it; `value_field`, an offset
    // in the working file, receives the copy's offset. False when the working file could not hold
    // the copy.
    bool CopyBlock(uint32_t source_block, uint32_t value_field);
    bool FinishDefrag();

    uint64_t source_bytes() const { return source_bytes_; }  // the cache file, when opened
    uint32_t write_offset() const { return write_offset_; }  // the compact file's length
    // The last Defragment put the compact file in place of the cache file.
    bool replaced() const { return replaced_; }
    // Places where the last copy found the cache file damaged and copied less than it claimed.
    uint32_t faults() const { return faults_; }

  private:
    struct Pending {
        uint32_t source_block;
        uint32_t value_field;
    };

    bool CopyDrives();
    bool CopyOneBlock(const Pending& folder, std::vector<Pending>& subfolders);
    bool EnsureRoom(uint32_t bytes);
    void CloseFiles();
    void ShowFailure(const char16_t* message, const platform::FileProblem& problem);
    uint8_t* At(uint32_t offset) { return work_.data() + offset; }

    ErrorSink& errors_;
    uint32_t write_offset_ = 0;
    // Declared in the order they are opened, so they are closed the other way round.
    platform::MappedFile source_;  // the cache file, read-only
    platform::MappedFile work_;    // the ".frag" file
    CacheView view_;               // source_'s bytes
    std::u16string cache_path_;
    uint64_t source_bytes_ = 0;
    std::unordered_set<uint32_t> copied_;  // source blocks already copied
    std::u16string name_;                  // the record being copied, reused
    uint32_t faults_ = 0;
    bool replaced_ = false;
};

}  // namespace corvella
