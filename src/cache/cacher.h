// CCacher builds the cache file.
//
// A build never writes the cache file directly. It writes the whole index into a private
// working file (the cache path + ".tmp", delete-on-close) mapped with generous headroom, and
// publishes it by copying the used prefix into a new file beside the cache that is then renamed
// over it: after the first drive, after every drive, and once at the end. Readers therefore see
// either the previous file or a complete new one, never a torn one, and between drives the cache
// already answers for the drives done so far.
//
// Growth: before each folder the working file grows by 32 MiB when less than 16 MiB of headroom
// is left, and a record that would still not fit (a folder larger than the headroom) grows it
// before it is written. The format addresses 4 GiB; a build that would pass that stops. Every
// size is reserved on the disk before it is mapped; a disk without room for the generous sizes
// gets the least the walk needs (1 MiB steps), and one without room for that stops the build
// with the file and the system's reason, the cache file as it was.
//
// The walk keeps its own stack instead of recursing, so the depth of a tree is bounded by memory,
// not by the thread's stack, and it writes blocks in the depth-first pre-order of the format:
// a folder's block, then the whole subtree of its first subfolder, then of the second, and so on.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cache/listing_source.h"
#include "cache/sinks.h"
#include "platform/file.h"

namespace corvella {

struct WorkingFileSizes {
    uint64_t initial_bytes = 52428800;   // 50 MiB
    uint64_t headroom_bytes = 16777216;  // grow when less than this is left before a folder
    uint64_t step_bytes = 33554432;      // 32 MiB
    uint64_t limit_bytes = 0xFFFFFFFF;   // the format's 32-bit offsets
};

class CCacher {
  public:
    // Builds the cache file at `cache_path`.
    CCacher(ErrorSink& errors, std::u16string cache_path, WorkingFileSizes sizes = {});
    CCacher(const CCacher&) = delete;
    CCacher& operator=(const CCacher&) = delete;

    void SetStatusWindow(StatusSink* status) { status_ = status; }
    // The file system unless a test supplies its own tree.
    void SetListingSource(ListingSource* source) { listing_ = source ? source : &file_system_; }
    // Lists folders ahead of the walk on this many threads (0 or 1: none). File system only.
    void SetListingThreads(unsigned threads) { listing_threads_ = threads; }
    // Replaces the platform's skip folder for the next builds; empty skips nothing.
    void SetSkipFolder(std::u16string folder) { skip_override_ = std::move(folder); }

    // From any thread: the running build stops at its next folder, without its final copy; the
    // cache file keeps what was published before.
    void RequestStop() { stop_requested_ = true; }

    // One whole build over the given roots, each ending in its separator ("C:\", "/",
    // "/srv/data/"). True when the final copy was made.
    bool BuildCache(const std::vector<std::u16string>& roots);

    // The working-file steps, in the order a build calls them.
    bool InitFile();
    bool CheckMapFileSize();
    bool SaveCacheFileTemp();
    bool ReleaseFile();

    uint64_t map_size() const { return map_size_; }
    uint32_t item_count() const { return item_count_; }
    uint64_t total_kib() const { return total_kib_; }
    uint32_t elapsed_ms() const { return elapsed_ms_; }
    uint64_t write_offset() const { return write_offset_; }
    // Folders the last build could not list; each was told to the status sink.
    uint32_t unread_folders() const { return unread_folders_; }

  private:
    struct PendingFolder {
        std::u16string name;
        uint32_t value_offset;  // the entry's value field, which receives the block's offset
    };
    struct Frame {
        std::u16string path;  // ends with the separator
        std::vector<PendingFolder> pending;
        size_t next = 0;
    };

    int TraverseDirectory(const std::u16string& path, uint32_t value_offset);
    // Writes one folder's block; pushes a frame when it has subfolders to walk.
    int WriteFolderBlock(const std::u16string& path, uint32_t value_offset,
                         std::vector<Frame>& stack);
    bool EnsureRoom(uint64_t bytes);
    // Grows the working file to `wanted` bytes or, when the disk has no room for that, to
    // `needed`; on failure the working file is given up and the build stops.
    bool Grow(uint64_t wanted, uint64_t needed);
    bool CopyToCacheFile(const char* operation);
    void Fail(const char* operation, int step, const platform::FileProblem& problem);
    void ShowProgress(char16_t drive);
    uint8_t* At(uint64_t offset) { return work_.data() + offset; }

    ErrorSink& errors_;
    WorkingFileSizes sizes_;
    StatusSink* status_ = nullptr;
    FileSystemListing file_system_;
    ListingSource* listing_ = &file_system_;
    ListingSource* active_listing_ = &file_system_;  // the one the current build reads
    unsigned listing_threads_;
    std::optional<std::u16string> skip_override_;

    std::u16string cache_path_;
    uint64_t map_size_;
    uint64_t start_ticks_ = 0;
    uint32_t elapsed_ms_ = 0;
    uint64_t total_kib_ = 0;
    uint32_t item_count_ = 0;
    uint32_t unread_folders_ = 0;
    uint64_t write_offset_ = 0;
    platform::MappedFile work_;
    std::u16string skip_folder_;
    size_t skip_folder_length_ = 0;
    bool stopped_ = false;  // the working file was lost, the size limit reached, or stopped
    std::atomic<bool> stop_requested_{false};
    // The cache file holds exactly the working file's bytes: nothing was written since the last
    // successful copy, so the final copy has nothing to add.
    bool published_ = false;
};

}  // namespace corvella
