// Files and whole-file mappings.
//
// Every open here is exclusive: on Windows the share mode is 0, on POSIX the opener holds
// flock(LOCK_EX|LOCK_NB) for as long as the file is open. A second opener, in this process or
// another, fails instead of reading bytes that are being rewritten.
//
// A mapping always covers the whole file. Remapping moves the view, so callers keep offsets into
// it, never pointers, across Remap.
#pragma once

#include <cstdint>
#include <string>

#ifdef _WIN32
#include "platform/handle_win.h"
#else
#include "platform/fd_posix.h"
#endif

namespace corvella::platform {

// Which step of opening a mapped file failed; callers turn it into their fixed message texts.
enum class MapStep { Done, File, Mapping, View };

// An open file that is held exclusively; used to keep others away from a file while it is
// replaced.
class ExclusiveFile {
  public:
    ExclusiveFile() = default;
    ~ExclusiveFile() { Close(); }
    ExclusiveFile(const ExclusiveFile&) = delete;
    ExclusiveFile& operator=(const ExclusiveFile&) = delete;

    // Opens an existing file for reading; false when it is missing or held by another opener.
    bool OpenExisting(const std::u16string& path);
    bool IsOpen() const;
    // The file's size in bytes; 0 when it is not open or cannot be measured.
    uint64_t Size() const;
    void Close();

  private:
#ifdef _WIN32
    FileHandle file_;
#else
    Descriptor fd_;
#endif
};

class MappedFile {
  public:
    enum class Access { ReadOnly, ReadWrite };

    MappedFile() = default;
    ~MappedFile() { Close(); }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    // Opens an existing file and maps all of it.
    MapStep OpenExisting(const std::u16string& path, Access access);
    // Creates the file anew (an existing one is overwritten) and maps it read-write at `size`
    // bytes; the new bytes read as zero. A delete-on-close file vanishes when it is closed or
    // the process ends (POSIX: it is unlinked right after it is created).
    MapStep Create(const std::u16string& path, uint64_t size, bool delete_on_close);
    // Read-write files only: grows the file to `size` and maps it again. On failure the file
    // is closed, and the step says what failed (Mapping or View).
    MapStep Remap(uint64_t size);
    // Writes the mapped bytes through to the disk.
    bool Flush();
    // Unmaps the view, then closes the mapping and the file, in that order. Safe to repeat.
    void Close();

    bool IsOpen() const { return view_.IsOpen(); }
    uint8_t* data() const { return static_cast<uint8_t*>(view_.get()); }
    uint64_t size() const { return size_; }
    // The system's error code of the last failed step, for diagnostics.
    int last_error() const { return last_error_; }

  private:
    MapStep MapView(uint64_t size);

    uint64_t size_ = 0;
    bool writable_ = false;
    int last_error_ = 0;
    // Declared in the order they are made, so that they are undone in reverse.
#ifdef _WIN32
    FileHandle file_;
    Handle mapping_;
    MappedView view_;
#else
    Descriptor fd_;
    MappedRegion view_;
#endif
};

bool FileExists(const std::u16string& path);
bool IsFolder(const std::u16string& path);
bool RemoveFile(const std::u16string& path);
// Puts `from` in place of `to` in one step; `to`, if it exists, is never seen half written.
// `held` is the caller's exclusive hold on the old `to` (possibly not open): on POSIX it is kept
// until the rename is done, on Windows it must be released first, since a held file cannot be
// replaced there. It is closed on return either way.
bool MoveIntoPlace(const std::u16string& from, const std::u16string& to, ExclusiveFile& held);

}  // namespace corvella::platform
