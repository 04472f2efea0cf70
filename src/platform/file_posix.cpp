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
int OpenLocked(const std::u16string& path, int flags) {
    const std::string native = ToUtf8(path);
    const int fd = ::open(native.c_str(), flags | O_CLOEXEC, 0644);
    if (fd < 0) return -1;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        errno = err;
        return -1;
    }
    return fd;
}

}  // namespace

bool ExclusiveFile::OpenExisting(const std::u16string& path) {
    Close();
    fd_ = OpenLocked(path, O_RDONLY);
    return fd_ >= 0;
}

bool ExclusiveFile::IsOpen() const {
    return fd_ >= 0;
}

uint64_t ExclusiveFile::Size() const {
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0 || st.st_size < 0) return 0;
    return static_cast<uint64_t>(st.st_size);
}

void ExclusiveFile::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

MapStep MappedFile::OpenExisting(const std::u16string& path, Access access) {
    Close();
    writable_ = access == Access::ReadWrite;
    fd_ = OpenLocked(path, writable_ ? O_RDWR : O_RDONLY);
    if (fd_ < 0) {
        last_error_ = errno;
        return MapStep::File;
    }
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || st.st_size <= 0) {
        // An empty file cannot be mapped; Windows refuses it at the mapping step as well.
        last_error_ = st.st_size <= 0 ? EINVAL : errno;
        CloseFile();
        return MapStep::Mapping;
    }
    return MapView(static_cast<uint64_t>(st.st_size));
}

MapStep MappedFile::Create(const std::u16string& path, uint64_t size, bool delete_on_close) {
    Close();
    writable_ = true;
    // Not O_TRUNC: a file that another opener holds must not be emptied before we own it.
    fd_ = OpenLocked(path, O_RDWR | O_CREAT);
    if (fd_ < 0) {
        last_error_ = errno;
        return MapStep::File;
    }
    if (delete_on_close) ::unlink(ToUtf8(path).c_str());
    if (::ftruncate(fd_, 0) != 0 || ::ftruncate(fd_, static_cast<off_t>(size)) != 0) {
        last_error_ = errno;
        CloseFile();
        return MapStep::Mapping;
    }
    return MapView(size);
}

MapStep MappedFile::Remap(uint64_t size) {
    if (data_) ::munmap(data_, size_);
    data_ = nullptr;
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) {
        last_error_ = errno;
        CloseFile();
        return MapStep::Mapping;
    }
    return MapView(size);
}

MapStep MappedFile::MapView(uint64_t size) {
    // A read-only mapping is read whole by every query: its page tables are filled in one go
    // instead of one fault at a time.
    void* p = ::mmap(nullptr, size, writable_ ? PROT_READ | PROT_WRITE : PROT_READ,
                     writable_ ? MAP_SHARED : MAP_SHARED | MAP_POPULATE, fd_, 0);
    if (p == MAP_FAILED) {
        last_error_ = errno;
        CloseFile();
        return MapStep::View;
    }
    data_ = static_cast<uint8_t*>(p);
    size_ = size;
    return MapStep::Done;
}

bool MappedFile::Flush() {
    if (!data_) return false;
    return ::msync(data_, size_, MS_SYNC) == 0 && ::fdatasync(fd_) == 0;
}

void MappedFile::Close() {
    if (data_) ::munmap(data_, size_);
    data_ = nullptr;
    size_ = 0;
    CloseFile();
}

void MappedFile::CloseFile() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
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

bool ReplaceFile(const std::u16string& from, const std::u16string& to, ExclusiveFile& held) {
    const bool ok = ::rename(ToUtf8(from).c_str(), ToUtf8(to).c_str()) == 0;
    held.Close();
    return ok;
}

}  // namespace corvella::platform
