// One listing of one folder, entry by entry, with everything a cache record needs, so that
// building the cache makes no other file-system call per entry.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#ifdef _WIN32
#include "platform/handle_win.h"
#else
#include "platform/fd_posix.h"
#endif

namespace corvella::platform {

struct DirEntry {
    std::u16string_view name;  // valid until the next call to Next
    uint64_t size_bytes = 0;   // 64-bit size as the listing reports it; 0 for folders
    uint64_t last_write = 0;   // FILETIME: 100 ns units since 1601-01-01 UTC
    bool folder = false;
    // Recorded but never entered: reparse points (junctions, directory links) on Windows, and on
    // POSIX the mount points of virtual, network and optical file systems.
    bool no_enter = false;
};

// The folders a walk enters: every folder entry but "." and "..", and but those marked not to
// be entered. The builder, the look-ahead listers, the folder update and the POSIX watcher all
// follow it, so they walk one set of folders in one order.
inline bool IsEnteredFolder(const DirEntry& entry) {
    return entry.folder && !entry.no_enter && entry.name != u"." && entry.name != u"..";
}
inline bool IsDotEntry(const DirEntry& entry) {
    return entry.folder && (entry.name == u"." || entry.name == u"..");
}

class DirLister {
  public:
    DirLister() = default;
    ~DirLister() { Close(); }
    DirLister(const DirLister&) = delete;
    DirLister& operator=(const DirLister&) = delete;

    // `folder` ends with the separator. False when the folder cannot be listed.
    bool Open(const std::u16string& folder);
    // The entries in the order the file system returns them, "." and ".." included.
    bool Next(DirEntry& entry);
    void Close();

  private:
    std::u16string name_;
#ifdef _WIN32
    FindHandle find_;
    bool have_first_ = false;
    std::vector<unsigned char> data_;  // WIN32_FIND_DATAW, kept opaque here
#else
    Descriptor fd_;
    std::string folder_utf8_;
    std::vector<char> buffer_;
    size_t pos_ = 0;
    size_t end_ = 0;
    bool eof_ = false;
#endif
};

// FILETIME from a POSIX time: seconds and nanoseconds since 1970-01-01 UTC.
constexpr uint64_t FileTimeFromUnix(int64_t seconds, int64_t nanoseconds) {
    return static_cast<uint64_t>((seconds + 11644473600LL) * 10000000LL + nanoseconds / 100);
}

}  // namespace corvella::platform
