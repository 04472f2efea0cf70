#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/file.h"
#include "platform/text.h"
#include "platform/written_pages_posix.h"

namespace corvella::platform {

namespace {

enum class Lock { Shared, Alone };

constexpr char16_t kLockedByAnother[] = u"another process has it open";
constexpr char16_t kEmptyFile[] = u"it is empty";

// Opens without blocking (a FIFO would wait for a writer), refuses anything but a regular file,
// and locks; the lock lives as long as the descriptor. On failure `problem` says why.
Descriptor OpenLocked(const std::u16string& path, int flags, Lock lock, FileProblem& problem) {
    problem = FileProblem{path, {}};
    const std::string native = ToUtf8(path);
    Descriptor fd(::open(native.c_str(), flags | O_CLOEXEC | O_NONBLOCK, 0644));
    if (!fd.IsOpen()) {
        problem.reason = SystemErrorText(errno);
        return fd;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        problem.reason = SystemErrorText(errno);
        fd.Close();
    } else if (!S_ISREG(st.st_mode)) {
        problem.reason = kNotARegularFile;
        fd.Close();
        errno = EINVAL;
    } else if (::flock(fd.get(), (lock == Lock::Shared ? LOCK_SH : LOCK_EX) | LOCK_NB) != 0) {
        const int err = errno;
        problem.held = err == EWOULDBLOCK;
        problem.reason = problem.held ? kLockedByAnother : SystemErrorText(err);
        fd.Close();
        errno = err;
    }
    return fd;
}

// Gives the bytes from `from` to `to` disk blocks, so that no store into the mapping can meet
// a full disk. On failure the file is cut back to `from` bytes and the error is returned.
int Reserve(int fd, uint64_t from, uint64_t to) {
    if (to <= from) return ::ftruncate(fd, static_cast<off_t>(to)) == 0 ? 0 : errno;
    const int err = ::posix_fallocate(fd, static_cast<off_t>(from), static_cast<off_t>(to - from));
    if (err != 0) (void)::ftruncate(fd, static_cast<off_t>(from));
    return err;
}

}  // namespace

int LastSystemError() {
    return errno;
}

std::u16string SystemErrorText(int error) {
    return FromUtf8(std::strerror(error));
}

bool ExclusiveFile::OpenExisting(const std::u16string& path) {
    Close();
    fd_ = OpenLocked(path, O_RDONLY, Lock::Alone, problem_);
    return fd_.IsOpen();
}

bool ExclusiveFile::IsOpen() const {
    return fd_.IsOpen();
}

uint64_t ExclusiveFile::Size() const {
    struct stat st {};
    if (!fd_.IsOpen() || ::fstat(fd_.get(), &st) != 0 || st.st_size < 0) return 0;
    return static_cast<uint64_t>(st.st_size);
}

void ExclusiveFile::Close() {
    fd_.Close();
}

void MappedFile::Failed(int error) {
    last_error_ = error;
    problem_.reason = SystemErrorText(error);
}

MapStep MappedFile::OpenExisting(const std::u16string& path, Access access) {
    Close();
    writable_ = access == Access::ReadWrite;
    fd_ = OpenLocked(path, writable_ ? O_RDWR : O_RDONLY,
                     access == Access::ReadOnly ? Lock::Shared : Lock::Alone, problem_);
    if (!fd_.IsOpen()) {
        last_error_ = errno;
        return MapStep::File;
    }
    struct stat st {};
    if (::fstat(fd_.get(), &st) != 0 || st.st_size <= 0) {
        // An empty file cannot be mapped; Windows refuses it at the mapping step as well.
        if (st.st_size <= 0) {
            last_error_ = EINVAL;
            problem_.reason = kEmptyFile;
        } else {
            Failed(errno);
        }
        fd_.Close();
        return MapStep::Mapping;
    }
    // Without a readable page map the view is a shared one, written back by the folio.
    if (writable_) page_map_ = OpenPageMap();
    return MapView(static_cast<uint64_t>(st.st_size));
}

MapStep MappedFile::Create(const std::u16string& path, uint64_t size, bool delete_on_close) {
    Close();
    writable_ = true;
    // Not O_TRUNC: a file that another opener holds must not be emptied before we own it.
    fd_ = OpenLocked(path, O_RDWR | O_CREAT, Lock::Alone, problem_);
    if (!fd_.IsOpen()) {
        last_error_ = errno;
        return MapStep::File;
    }
    if (delete_on_close) ::unlink(ToUtf8(path).c_str());
    const int err = ::ftruncate(fd_.get(), 0) == 0 ? Reserve(fd_.get(), 0, size) : errno;
    if (err != 0) {
        Failed(err);
        fd_.Close();
        return MapStep::Mapping;
    }
    return MapView(size);
}

MapStep MappedFile::Remap(uint64_t size) {
    // What an in-place view changed goes to the file before the view that holds it is dropped,
    // and before the file grows, so that a failure leaves its length as it was.
    if (!WriteBack()) {
        Failed(errno);
        return MapStep::Mapping;
    }
    // Reserved while the old view still stands, so a disk that cannot hold the new size leaves
    // the file, and its mapping, as they were.
    if (const int err = Reserve(fd_.get(), size_, size); err != 0) {
        Failed(err);
        return MapStep::Mapping;
    }
    view_.Close();
    return MapView(size);
}

MapStep MappedFile::MapView(uint64_t size) {
    const bool in_place = page_map_.IsOpen();
    void* p = ::mmap(nullptr, size, writable_ ? PROT_READ | PROT_WRITE : PROT_READ,
                     in_place ? MAP_PRIVATE : MAP_SHARED, fd_.get(), 0);
    if (p == MAP_FAILED) {
        Failed(errno);
        size_ = 0;
        page_map_.Close();
        fd_.Close();
        return MapStep::View;
    }
    // Asked before the first touch, huge pages let a file system that keeps large folios bring
    // the pages in, as they are written here or read cold, in folios of 2 MB; every later view of
    // them, in any process, then takes one page-table entry per 2 MB instead of 512. A walk reads
    // the whole file, and filling and dropping 4 KB entries cost more than the walk itself on a
    // virtual machine where each first touch of a page traps. Refused advice changes nothing.
    // An in-place view touches a few pages and writes its own copies of them: no advice.
    if (!in_place) (void)::madvise(p, size, MADV_HUGEPAGE);
    // A read-only view is read whole by every query: its page tables are filled in one go
    // instead of one fault at a time (a kernel too old for this faults them in as it goes).
    if (!writable_) (void)::madvise(p, size, MADV_POPULATE_READ);
    view_.Reset(p, size);
    size_ = size;
    return MapStep::Done;
}

bool MappedFile::WriteBack() {
    if (!page_map_.IsOpen() || !view_.IsOpen()) return true;
    return WriteWrittenPages(page_map_.get(), fd_.get(), data(), size_);
}

bool MappedFile::Flush() {
    if (!view_.IsOpen()) return false;
    if (page_map_.IsOpen()) return WriteBack() && ::fdatasync(fd_.get()) == 0;
    return ::msync(view_.get(), size_, MS_SYNC) == 0 && ::fdatasync(fd_.get()) == 0;
}

void MappedFile::Close() {
    // A failed write-back is as silent here as the kernel's write-back of a shared view; Flush
    // is the caller's way to hear of it.
    (void)WriteBack();
    view_.Close();
    size_ = 0;
    page_map_.Close();
    fd_.Close();
}

PathKind KindOf(const std::u16string& path) {
    struct stat st {};
    if (::stat(ToUtf8(path).c_str(), &st) != 0) return PathKind::Missing;
    if (S_ISREG(st.st_mode)) return PathKind::File;
    return S_ISDIR(st.st_mode) ? PathKind::Folder : PathKind::Other;
}

bool FileExists(const std::u16string& path) {
    struct stat st {};
    return ::stat(ToUtf8(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

FileStamp StampOf(const std::u16string& path) {
    struct stat st {};
    if (::stat(ToUtf8(path).c_str(), &st) != 0) return {};
    const auto ns = [](const struct timespec& t) {
        return uint64_t(t.tv_sec) * 1000000000u + uint64_t(t.tv_nsec);
    };
    return FileStamp{uint64_t(st.st_dev), uint64_t(st.st_ino), uint64_t(st.st_size), ns(st.st_mtim),
                     ns(st.st_ctim)};
}

bool IsFolder(const std::u16string& path) {
    struct stat st {};
    return ::stat(ToUtf8(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool RemoveFile(const std::u16string& path) {
    return ::unlink(ToUtf8(path).c_str()) == 0;
}

bool MoveIntoPlace(const std::u16string& from, const std::u16string& to, ExclusiveFile& held) {
    const bool ok = ::rename(ToUtf8(from).c_str(), ToUtf8(to).c_str()) == 0;
    held.Close();
    return ok;
}

}  // namespace corvella::platform
