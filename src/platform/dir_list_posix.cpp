#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/dir_list.h"
#include "platform/fd_posix.h"
#include "platform/mounts_posix.h"
#include "platform/text.h"

namespace corvella::platform {

namespace {

// Large enough that a typical folder comes in one getdents64 call.
constexpr size_t kBufferBytes = 64 * 1024;

struct RawDirent {
    ino64_t d_ino;
    off64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[1];
};

// Paths past PATH_MAX (deep trees) are opened a piece at a time, each piece relative to the
// folder opened before it.
Descriptor OpenFolder(const std::string& path) {
    const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
    Descriptor fd(::open(path.c_str(), flags));
    if (fd.IsOpen() || errno != ENAMETOOLONG) return fd;
    constexpr size_t kPiece = 2048;
    Descriptor dir;  // none yet: the first piece is relative to the working folder
    size_t start = 0;
    while (start < path.size()) {
        size_t stop = path.size();
        if (stop - start > kPiece) {
            stop = path.rfind('/', start + kPiece);
            if (stop == std::string::npos || stop <= start) {  // one name longer than a piece
                dir.Close();
                errno = ENAMETOOLONG;
                return dir;
            }
            ++stop;  // the piece keeps its "/"
        }
        const std::string piece = path.substr(start, stop - start);
        Descriptor next(::openat(dir.IsOpen() ? dir.get() : AT_FDCWD, piece.c_str(), flags));
        const int err = errno;
        dir = std::move(next);
        if (!dir.IsOpen()) {
            errno = err;
            return dir;
        }
        start = stop;
    }
    return dir;
}

// Nearly every name is ASCII: widened in one pass without the decoder's checks per byte.
void WidenName(std::string_view raw, std::u16string& out) {
    bool ascii = true;
    for (const char c : raw) ascii &= static_cast<unsigned char>(c) < 0x80;
    if (!ascii) {
        out.clear();
        AppendFromUtf8(raw, out);
        return;
    }
    out.resize(raw.size());
    for (size_t i = 0; i < raw.size(); ++i) out[i] = static_cast<unsigned char>(raw[i]);
}

}  // namespace

bool DirLister::Open(const std::u16string& folder) {
    Close();
    folder_utf8_ = ToUtf8(folder);
    fd_ = OpenFolder(folder_utf8_);
    if (!fd_.IsOpen()) return false;
    if (folder_utf8_.empty() || folder_utf8_.back() != '/') folder_utf8_ += '/';
    buffer_.resize(kBufferBytes);
    pos_ = end_ = 0;
    eof_ = false;
    return true;
}

bool DirLister::Next(DirEntry& entry) {
    for (;;) {
        if (pos_ >= end_) {
            if (eof_ || !fd_.IsOpen()) return false;
            const ssize_t got = ::getdents64(fd_.get(), buffer_.data(), buffer_.size());
            if (got <= 0) {  // end of folder, or it vanished while being listed
                eof_ = true;
                return false;
            }
            pos_ = 0;
            end_ = static_cast<size_t>(got);
        }
        const auto* d = reinterpret_cast<const RawDirent*>(buffer_.data() + pos_);
        pos_ += d->d_reclen;
        const char* raw = d->d_name;
        const size_t length = std::strlen(raw);

        WidenName(std::string_view(raw, length), name_);
        entry.name = name_;
        if ((length == 1 && raw[0] == '.') || (length == 2 && raw[0] == '.' && raw[1] == '.')) {
            entry.folder = true;
            entry.no_enter = true;
            entry.size_bytes = 0;
            entry.last_write = 0;
            return true;
        }
        struct stat st {};
        // Not following links: a symbolic link is recorded as itself, a file of its own size.
        if (::fstatat(fd_.get(), raw, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;  // gone meanwhile
        entry.folder = S_ISDIR(st.st_mode);
        entry.size_bytes = entry.folder ? 0 : static_cast<uint64_t>(st.st_size);
        entry.last_write = FileTimeFromUnix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
        entry.no_enter = false;
        if (entry.folder)
            entry.no_enter = IsSkippedMountPoint(folder_utf8_, std::string_view(raw, length));
        return true;
    }
}

void DirLister::Close() {
    fd_.Close();
}

}  // namespace corvella::platform
