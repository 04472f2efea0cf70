#include <windows.h>

#include <string>

#include "platform/file.h"
#include "platform/long_path_win.h"
#include "platform/text.h"
#include "platform/text_win.h"

namespace corvella::platform {

namespace {

enum class Lock { Shared, Alone };

// Opens a regular file, sharing it with readers only when this opener reads and shares
// (FILE_SHARE_READ), else with no one (share mode 0). On failure `problem` says why.
HANDLE Open(const std::u16string& path, DWORD access, DWORD disposition, DWORD flags, Lock lock,
            FileProblem& problem) {
    problem = FileProblem{path, {}};
    const HANDLE h = CreateFileW(LongPath(path).c_str(), access,
                                 lock == Lock::Shared ? FILE_SHARE_READ : 0, nullptr, disposition,
                                 flags, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        problem.held = error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
        problem.reason = SystemErrorText(static_cast<int>(error));
        SetLastError(error);
    } else if (GetFileType(h) != FILE_TYPE_DISK) {
        CloseHandle(h);
        problem.reason = kNotARegularFile;
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    return h;
}

// Gives the file `size` bytes on disk; the mapping is made no larger than the file, so a full
// disk fails here instead of at a store into the view.
bool SetLength(HANDLE file, uint64_t size) {
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(size);
    return SetFilePointerEx(file, at, nullptr, FILE_BEGIN) && SetEndOfFile(file);
}

}  // namespace

int LastSystemError() {
    return static_cast<int>(GetLastError());
}

std::u16string SystemErrorText(int error) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(error), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::u16string result;
    if (length > 0 && text) result = FromWide(text, length);
    if (text) LocalFree(text);
    while (!result.empty() && (result.back() == u'\r' || result.back() == u'\n' ||
                               result.back() == u'.' || result.back() == u' '))
        result.pop_back();
    if (result.empty()) result = u"system error " + Widen(std::to_string(error));
    return result;
}

bool ExclusiveFile::OpenExisting(const std::u16string& path) {
    Close();
    file_.Reset(
        Open(path, GENERIC_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, Lock::Alone, problem_));
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

void MappedFile::Failed(int error) {
    last_error_ = error;
    problem_.reason = SystemErrorText(error);
}

MapStep MappedFile::OpenExisting(const std::u16string& path, Access access) {
    Close();
    writable_ = access == Access::ReadWrite;
    file_.Reset(Open(path, writable_ ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL,
                     access == Access::ReadOnly ? Lock::Shared : Lock::Alone, problem_));
    if (!file_.IsOpen()) {
        last_error_ = static_cast<int>(GetLastError());
        return MapStep::File;
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file_.get(), &size) || size.QuadPart <= 0) {
        last_error_ = static_cast<int>(GetLastError());
        problem_.reason = size.QuadPart <= 0 ? u"it is empty" : SystemErrorText(last_error_);
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
    file_.Reset(Open(path, access, CREATE_ALWAYS, flags, Lock::Alone, problem_));
    if (!file_.IsOpen()) {
        last_error_ = static_cast<int>(GetLastError());
        return MapStep::File;
    }
    if (!SetLength(file_.get(), size)) {
        Failed(static_cast<int>(GetLastError()));
        file_.Close();
        return MapStep::Mapping;
    }
    return MapView(size);
}

MapStep MappedFile::Remap(uint64_t size) {
    // The length can only change with no view or mapping open; a disk that cannot hold the new
    // one gets the old length, and the old view, back.
    const uint64_t old_size = size_;
    view_.Close();
    mapping_.Close();
    if (!SetLength(file_.get(), size)) {
        const int error = static_cast<int>(GetLastError());
        SetLength(file_.get(), old_size);
        if (MapView(old_size) != MapStep::Done) return MapStep::View;
        Failed(error);
        return MapStep::Mapping;
    }
    return MapView(size);
}

MapStep MappedFile::MapView(uint64_t size) {
    const DWORD protect = writable_ ? PAGE_READWRITE : PAGE_READONLY;
    mapping_.Reset(CreateFileMappingW(file_.get(), nullptr, protect, static_cast<DWORD>(size >> 32),
                                      static_cast<DWORD>(size), nullptr));
    if (!mapping_.IsOpen()) {
        Failed(static_cast<int>(GetLastError()));
        size_ = 0;
        file_.Close();
        return MapStep::Mapping;
    }
    view_.Reset(MapViewOfFile(mapping_.get(), writable_ ? FILE_MAP_WRITE : FILE_MAP_READ, 0, 0,
                              static_cast<SIZE_T>(size)));
    if (!view_.IsOpen()) {
        Failed(static_cast<int>(GetLastError()));
        size_ = 0;
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

PathKind KindOf(const std::u16string& path) {
    const DWORD attributes = GetFileAttributesW(LongPath(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::Missing;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? PathKind::Folder : PathKind::File;
}

bool FileExists(const std::u16string& path) {
    const DWORD attributes = GetFileAttributesW(LongPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

FileStamp StampOf(const std::u16string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(LongPath(path).c_str(), GetFileExInfoStandard, &data)) return {};
    const auto join = [](DWORD high, DWORD low) { return uint64_t(high) << 32 | low; };
    // A file renamed over the cache brings its own creation time.
    return FileStamp{0, join(data.ftCreationTime.dwHighDateTime, data.ftCreationTime.dwLowDateTime),
                     join(data.nFileSizeHigh, data.nFileSizeLow),
                     join(data.ftLastWriteTime.dwHighDateTime, data.ftLastWriteTime.dwLowDateTime),
                     0};
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
