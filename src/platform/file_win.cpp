#include <windows.h>

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
    file_.Reset(Open(path, GENERIC_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL));
    return file_.IsOpen();
}

bool ExclusiveFile::IsOpen() const {
    return file_.IsOpen();
}

uint64_t ExclusiveFile::Size() const {
    LARGE_INTEGER size{};
    if (!file_.IsOpen() || !GetFileSizeEx(file_.get(), &size) || size.QuadPart < 0) return 0;
    return static_cast<uint64_t>(size.QuadPart);
}

void ExclusiveFile::Close() {
    file_.Close();
}

MapStep MappedFile::OpenExisting(const std::u16string& path, Access access) {
    Close();
    writable_ = access == Access::ReadWrite;
    file_.Reset(Open(path, writable_ ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL));
    if (!file_.IsOpen()) {
        last_error_ = static_cast<int>(GetLastError());
        return MapStep::File;
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file_.get(), &size) || size.QuadPart <= 0) {
        last_error_ = static_cast<int>(GetLastError());
        file_.Close();
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
    file_.Reset(Open(path, access, CREATE_ALWAYS, flags));
    if (!file_.IsOpen()) {
        last_error_ = static_cast<int>(GetLastError());
        return MapStep::File;
    }
    return MapView(size);
}

MapStep MappedFile::Remap(uint64_t size) {
    view_.Close();
    mapping_.Close();
    return MapView(size);
}

MapStep MappedFile::MapView(uint64_t size) {
    // A read-write mapping larger than the file grows the file to the mapping's size.
    const DWORD protect = writable_ ? PAGE_READWRITE : PAGE_READONLY;
    mapping_.Reset(CreateFileMappingW(file_.get(), nullptr, protect, static_cast<DWORD>(size >> 32),
                                      static_cast<DWORD>(size), nullptr));
    if (!mapping_.IsOpen()) {
        last_error_ = static_cast<int>(GetLastError());
        file_.Close();
        return MapStep::Mapping;
    }
    view_.Reset(MapViewOfFile(mapping_.get(), writable_ ? FILE_MAP_WRITE : FILE_MAP_READ, 0, 0,
                              static_cast<SIZE_T>(size)));
    if (!view_.IsOpen()) {
        last_error_ = static_cast<int>(GetLastError());
        mapping_.Close();
        file_.Close();
        return MapStep::View;
    }
    size_ = size;
    return MapStep::Done;
}

bool MappedFile::Flush() {
    if (!view_.IsOpen()) return false;
    return FlushViewOfFile(view_.get(), 0) && FlushFileBuffers(file_.get());
}

void MappedFile::Close() {
    view_.Close();
    size_ = 0;
    mapping_.Close();
    file_.Close();
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

bool MoveIntoPlace(const std::u16string& from, const std::u16string& to, ExclusiveFile& held) {
    held.Close();
    return MoveFileExW(LongPath(from).c_str(), LongPath(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

}  // namespace corvella::platform
