// Files and whole-file mappings.
//
// Readers share, writers hold alone. A read-only open shares with other readers (Windows: share
// mode FILE_SHARE_READ; POSIX: flock(LOCK_SH|LOCK_NB)); every open that may write, and a
// read-exclusive one, holds the file alone (share mode 0; LOCK_EX|LOCK_NB) for as long as it is
// open. An opener that meets a holder of the other kind, in this process or another, fails
// instead of reading bytes that are being rewritten. Only regular files are opened: a FIFO, a
// device or a folder is refused without blocking.
//
// A mapping always covers the whole file, and every byte of a writable one has disk behind it
// before it is mapped (POSIX: posix_fallocate; Windows: SetEndOfFile). A sparse file would take
// the first store into a page the disk cannot hold as a fatal fault; reserved up front, a full
// disk is an ordinary failure of Create or Remap. Remapping moves the view, so callers keep
// offsets into it, never pointers, across Remap.
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

// Why the last step failed, for a person: the file it concerned and the reason, in the system's
// own words or those of the check here that refused the file.
struct FileProblem {
    std::u16string path;
    std::u16string reason;
    // Another opener holds the file: the one failure that passes by itself, so worth a retry.
    bool held = false;
};

// What is at a path.
enum class PathKind { Missing, File, Folder, Other };

// An open file that is held alone; used to keep others away from a file while it is replaced.
class ExclusiveFile {
  public:
    ExclusiveFile() = default;
    ~ExclusiveFile() { Close(); }
    ExclusiveFile(const ExclusiveFile&) = delete;
    ExclusiveFile& operator=(const ExclusiveFile&) = delete;

    // Opens an existing file for reading; false when it is missing or held by another opener.
    bool OpenExisting(const std::u16string& path);
    bool IsOpen() const;
    const FileProblem& problem() const { return problem_; }
    // The file's size in bytes; 0 when it is not open or cannot be measured.
    uint64_t Size() const;
    void Close();

  private:
    FileProblem problem_;
#ifdef _WIN32
    FileHandle file_;
#else
    Descriptor fd_;
#endif
};

class MappedFile {
  public:
    // ReadOnly shares with other readers; ReadExclusive reads what no one else may open while it
    // is held (a copy that will replace the file); ReadWrite changes the file in place, alone.
    // On POSIX an in-place view keeps what it writes to itself until it is grown, flushed or
    // closed, and then writes only the pages it changed (written_pages_posix.cpp).
    enum class Access { ReadOnly, ReadExclusive, ReadWrite };

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
    // Read-write files only: grows the file to `size` and maps it again. When the disk cannot
    // hold `size` (Mapping), the file keeps its length and stays mapped as it was; when the new
    // view fails (View), the file is closed.
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
    const FileProblem& problem() const { return problem_; }

  private:
    MapStep MapView(uint64_t size);
    // Records the system's error `error` as the reason the step failed.
    void Failed(int error);

    uint64_t size_ = 0;
    bool writable_ = false;
    int last_error_ = 0;
    FileProblem problem_;
    // Declared in the order they are made, so that they are undone in reverse.
#ifdef _WIN32
    FileHandle file_;
    Handle mapping_;
    MappedView view_;
#else
    // Writes back what an in-place view changed; true when there is nothing to write.
    bool WriteBack();

    Descriptor fd_;
    Descriptor page_map_;  // open while the view is an in-place (private) one
    MappedRegion view_;
#endif
};

// The reason given for a path that holds something other than a regular file.
inline constexpr char16_t kNotARegularFile[] = u"it is not a regular file";

PathKind KindOf(const std::u16string& path);
// The system's own words for an error code (errno, or GetLastError() on Windows).
std::u16string SystemErrorText(int error);
// The calling thread's last system error (errno, or GetLastError() on Windows).
int LastSystemError();
bool FileExists(const std::u16string& path);
// What tells one version of a file from another across processes: which file the path names
// (a file renamed over it is another), its size and its times. All zero when it is missing.
struct FileStamp {
    uint64_t volume = 0, id = 0, size = 0, write_time = 0, change_time = 0;
    bool operator==(const FileStamp&) const = default;
};
FileStamp StampOf(const std::u16string& path);
bool IsFolder(const std::u16string& path);
bool RemoveFile(const std::u16string& path);
// Puts `from` in place of `to` in one step; `to`, if it exists, is never seen half written.
// `held` is the caller's exclusive hold on the old `to` (possibly not open): on POSIX it is kept
// until the rename is done, on Windows it must be released first, since a held file cannot be
// replaced there. It is closed on return either way.
bool MoveIntoPlace(const std::u16string& from, const std::u16string& to, ExclusiveFile& held);

}  // namespace corvella::platform
