#include <windows.h>
// windows.h turns ReplaceFile into ReplaceFileW, which would rename ours in this file only.
#undef ReplaceFile

#include "platform/file.h"
#include "platform/long_path_win.h"

namespace corvella::platform {

namespace {

HANDLE Open(const std::u16string& path, DWORD access, DWORD disposition, DWORD flags) {
    // Share mode 0: nobody else may open the file while we hold it.
    return CreateFileW(LongPath(path).c_str(), access, 0, nullptr, disposition, flags, nullptr);
}

}  // namespace

bool ExclusiveFile::OpenExisting(const std::u16string& path) {
    Close();
    handle_ = Open(path, GENERIC_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
    return handle_ != INVALID_HANDLE_VALUE;
}

bool ExclusiveFile::IsOpen() const {
    return handle_ != INVALID_HANDLE_VALUE;
}

uint64_t ExclusiveFile::Size() const {
    LARGE_INTEGER size{};
    if (handle_ == INVALID_HANDLE_VALUE || !GetFileSizeEx(handle_, &size) || size.QuadPart < 0)
        return 0;
    return static_cast<uint64_t>(size.QuadPart);
}

void ExclusiveFile::Close() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
}

MapStep MappedFile::OpenExisting(const std::u16string& path, Access access) {
    Close();
    writable_ = access == Access::ReadWrite;
    file_ = Open(path, writable_ ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ, OPEN_EXISTING,
                 FILE_ATTRIBUTE_NORMAL);
    if (file_ == INVALID_HANDLE_VALUE) {
        last_error_ = static_cast<int>(GetLastError());
        return MapStep::File;
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file_, &size) || size.QuadPart <= 0) {
        last_error_ = static_cast<int>(GetLastError());
        CloseFile();
        return MapStep::Mapping;
    }
    return MapView(static_cast<uint64_t>(size.QuadPart));
}

MapStep MappedFile::Create(const std::u16string& path, uint64_t size, bool delete_on_close) {
    Close();
    writable_ = true;
    DWORD flags = FILE_ATTRIBUTE_NORMAL;
    // DELETE access is what FILE_FLAG_DELETE_ON_CLOSE requires.
    DWORD access = GENERIC_READ | GENERIC_WRITE;
    if (delete_on_close) {
        flags = FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE;
        access |= DELETE;
    }
    file_ = Open(path, access, CREATE_ALWAYS, flags);
    if (file_ == INVALID_HANDLE_VALUE) {
        last_error_ = static_cast<int>(GetLastError());
        return MapStep::File;
    }
    return MapView(size);
}

MapStep MappedFile::Remap(uint64_t size) {
    if (data_) UnmapViewOfFile(data_);
    data_ = nullptr;
    if (mapping_) CloseHandle(mapping_);
    mapping_ = nullptr;
    return MapView(size);
}

MapStep MappedFile::MapView(uint64_t size) {
    // A read-write mapping larger than the file grows the file to the mapping's size.
    const DWORD protect = writable_ ? PAGE_READWRITE : PAGE_READONLY;
    mapping_ = CreateFileMappingW(file_, nullptr, protect, static_cast<DWORD>(size >> 32),
                                  static_cast<DWORD>(size), nullptr);
    if (!mapping_) {
        last_error_ = static_cast<int>(GetLastError());
        CloseFile();
        return MapStep::Mapping;
    }
    void* view = MapViewOfFile(mapping_, writable_ ? FILE_MAP_WRITE : FILE_MAP_READ, 0, 0,
                               static_cast<SIZE_T>(size));
    if (!view) {
        last_error_ = static_cast<int>(GetLastError());
        CloseHandle(mapping_);
        mapping_ = nullptr;
        CloseFile();
        return MapStep::View;
    }
    data_ = static_cast<uint8_t*>(view);
    size_ = size;
    return MapStep::Done;
}

bool MappedFile::Flush() {
    if (!data_) return false;
    return FlushViewOfFile(data_, 0) && FlushFileBuffers(file_);
}

void MappedFile::Close() {
    if (data_) UnmapViewOfFile(data_);
    data_ = nullptr;
    size_ = 0;
    if (mapping_) CloseHandle(mapping_);
    mapping_ = nullptr;
    CloseFile();
}

void MappedFile::CloseFile() {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
    file_ = INVALID_HANDLE_VALUE;
}

bool FileExists(const std::u16string& path) {
    const DWORD attributes = GetFileAttributesW(LongPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsFolder(const std::u16string& path) {
    const DWORD attributes = GetFileAttributesW(LongPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool RemoveFile(const std::u16string& path) {
    return DeleteFileW(LongPath(path).c_str()) != 0;
}

bool ReplaceFile(const std::u16string& from, const std::u16string& to, ExclusiveFile& held) {
    held.Close();
    return MoveFileExW(LongPath(from).c_str(), LongPath(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

}  // namespace corvella::platform
