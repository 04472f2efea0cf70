#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file.h"
#include "platform/text.h"

namespace corvella::platform {

namespace {

// Opens and locks; the lock lives as long as the descriptor.
Descriptor OpenLocked(const std::u16string& path, int flags) {
    const std::string native = ToUtf8(path);
    Descriptor fd(::open(native.c_str(), flags | O_CLOEXEC, 0644));
    if (fd.IsOpen() && ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        fd.Close();
        errno = err;
    }
    return fd;
}

}  // namespace

bool ExclusiveFile::OpenExisting(const std::u16string& path) {
    Close();
    fd_ = OpenLocked(path, O_RDONLY);
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

MapStep MappedFile::OpenExisting(const std::u16string& path, Access access) {
    Close();
    writable_ = access == Access::ReadWrite;
    fd_ = OpenLocked(path, writable_ ? O_RDWR : O_RDONLY);
    if (!fd_.IsOpen()) {
        last_error_ = errno;
        return MapStep::File;
    }
    struct stat st {};
    if (::fstat(fd_.get(), &st) != 0 || st.st_size <= 0) {
        // An empty file cannot be mapped; Windows refuses it at the mapping step as well.
        last_error_ = st.st_size <= 0 ? EINVAL : errno;
        fd_.Close();
        return MapStep::Mapping;
    }
    return MapView(static_cast<uint64_t>(st.st_size));
}

MapStep MappedFile::Create(const std::u16string& path, uint64_t size, bool delete_on_close) {
    Close();
    writable_ = true;
    // Not O_TRUNC: a file that another opener holds must not be emptied before we own it.
    fd_ = OpenLocked(path, O_RDWR | O_CREAT);
    if (!fd_.IsOpen()) {
        last_error_ = errno;
        return MapStep::File;
    }
    if (delete_on_close) ::unlink(ToUtf8(path).c_str());
    if (::ftruncate(fd_.get(), 0) != 0 || ::ftruncate(fd_.get(), static_cast<off_t>(size)) != 0) {
        last_error_ = errno;
        fd_.Close();
        return MapStep::Mapping;
    }
    return MapView(size);
}

MapStep MappedFile::Remap(uint64_t size) {
    view_.Close();
    if (::ftruncate(fd_.get(), static_cast<off_t>(size)) != 0) {
        last_error_ = errno;
        fd_.Close();
        return MapStep::Mapping;
    }
    return MapView(size);
}

MapStep MappedFile::MapView(uint64_t size) {
    // A read-only mapping is read whole by every query: its page tables are filled in one go
    // instead of one fault at a time.
    void* p = ::mmap(nullptr, size, writable_ ? PROT_READ | PROT_WRITE : PROT_READ,
                     writable_ ? MAP_SHARED : MAP_SHARED | MAP_POPULATE, fd_.get(), 0);
    if (p == MAP_FAILED) {
        last_error_ = errno;
        fd_.Close();
        return MapStep::View;
    }
    view_.Reset(p, size);
    size_ = size;
    return MapStep::Done;
}

bool MappedFile::Flush() {
    if (!view_.IsOpen()) return false;
    return ::msync(view_.get(), size_, MS_SYNC) == 0 && ::fdatasync(fd_.get()) == 0;
}

void MappedFile::Close() {
    view_.Close();
    size_ = 0;
    fd_.Close();
}

bool FileExists(const std::u16string& path) {
    struct stat st {};
    return ::stat(ToUtf8(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
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
