// Bringing one folder's block in the cache file up to date after a change on disk.
//
// The folder is listed again into a new block in memory. Subfolders that still exist keep their
// blocks; new ones are listed with their whole subtree and stored at once; the blocks of vanished
// ones are given up. The new block goes over the old one when it fits, else into the best-fitting
// free block, else at the end of the file, which grows in 3 MiB steps.
//
// Nothing is half-stored: the old block is left exactly as it was until the new one is complete
// and has its place, so a listing that runs out of memory or a file that cannot grow leaves the
// cache as it was, and the folder can simply be applied again later.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cache/block_reader.h"
#include "cache/listing_source.h"
#include "cache/sinks.h"
#include "platform/file.h"

namespace corvella {

struct UpdateSizes {
    uint32_t initial_buffer_bytes = 1048576;  // a new block starts in a 1 MiB buffer
    uint32_t grow_step_bytes = 3145728;       // the file grows 3 MiB at a time
    uint32_t reserve_bytes = 131072;          // ... when less than the block + 128 KiB is left
};

enum class ApplyResult {
    Applied,     // the folder's block is current
    Dropped,     // no cache file, the folder is not in it, or the path names a file
    InUse,       // another opener holds the cache file: apply it again in a moment
    RetryLater,  // memory or disk space ran out: apply it again later
    Damaged,     // the file is cut short or is no cache: only a new build brings it back
};

class CFolderUpdater {
  public:
    explicit CFolderUpdater(ErrorSink& errors, UpdateSizes sizes = {});
    CFolderUpdater(const CFolderUpdater&) = delete;
    CFolderUpdater& operator=(const CFolderUpdater&) = delete;

    // The file system unless a test supplies its own tree.
    void SetListingSource(ListingSource* source) { listing_ = source ? source : &file_system_; }
    // The folder a build leaves without a block; by default the platform's.
    void SetSkipFolder(std::u16string folder) { skip_folder_ = std::move(folder); }
    // Asked before every buffer allocation; false makes it fail. For tests of memory failures.
    void SetAllocationGate(std::function<bool(size_t bytes)> gate) { gate_ = std::move(gate); }

    // The whole update of `folder` (a full path ending in its separator) in the cache file.
    // The caller holds CacheFileLock.
    ApplyResult ApplyFolderChange(const std::u16string& cache_path, const std::u16string& folder);

  private:
    // A block being built in memory, laid out as it will be stored.
    struct Buffer {
        std::unique_ptr<uint8_t[]> bytes;
        size_t size = 0;
        uint32_t length = 0;  // bytes written, the capacity field included
    };
    struct NewFolder {
        std::u16string name;
        uint32_t value_offset;  // of its record's value field, within its parent's block
    };
    struct Found {
        bool folder = false;
        uint32_t value = NoBlock;
        uint32_t value_offset = 0;  // in the file
    };
    class OldEntries;

    std::optional<Found> FindEntryByPath(std::u16string_view path, char16_t separator) const;
    bool RescanFolder(const std::u16string& folder, OldEntries* old, Buffer& out,
                      std::vector<NewFolder>& new_folders, std::vector<uint32_t>& taken);
    bool Update(const std::u16string& folder, const Found& found, std::vector<uint32_t>& stored);
    bool StoreNewTree(const std::u16string& folder, Buffer& buffer, uint32_t& block);
    bool ReplaceBlock(const Buffer& buffer, uint32_t old_block, uint32_t value_field,
                      const std::vector<uint32_t>& taken);
    bool NewBlock(const Buffer& buffer, uint32_t& block);
    uint32_t AllocBlock(uint32_t size);
    void FreeBlock(uint32_t block, bool keep_block);
    bool Append(const Buffer& buffer, uint32_t& at);
    bool AllocateBuffer(Buffer& buffer, size_t size);
    bool EnsureRecordRoom(Buffer& buffer, uint32_t record_bytes);
    // The capacity of a block that can be read as one, else 0.
    uint32_t ValidBlockCapacity(uint32_t block) const;
    CacheView View() const;
    uint8_t* At(uint32_t offset) const { return file_.data() + offset; }

    ErrorSink& errors_;
    UpdateSizes sizes_;
    FileSystemListing file_system_;
    ListingSource* listing_ = &file_system_;
    std::optional<std::u16string> skip_folder_;
    std::function<bool(size_t)> gate_;
    platform::MappedFile file_;
    char16_t separator_ = u'\\';
    bool out_of_memory_ = false;  // the last update failed for want of memory
    bool no_room_ = false;        // ... for want of disk space to grow the file
};

}  // namespace corvella
