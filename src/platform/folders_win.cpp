#include <windows.h>

#include "platform/folders.h"
#include "platform/long_path_win.h"

namespace corvella::platform {

bool MakeFolder(const std::u16string& path) {
    return CreateDirectoryW(LongPath(path).c_str(), nullptr) != 0;
}

bool RemoveEmptyFolder(const std::u16string& path) {
    return RemoveDirectoryW(LongPath(path).c_str()) != 0;
}

bool CopyWholeFile(const std::u16string& from, const std::u16string& to) {
    const std::wstring target = LongPath(to);
    if (!CopyFileW(LongPath(from).c_str(), target.c_str(), TRUE)) return false;
    // The copy takes the original's attributes; one from read-only media must still be writable.
    const DWORD attributes = GetFileAttributesW(target.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (!(attributes & FILE_ATTRIBUTE_READONLY) ||
            SetFileAttributesW(target.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY));
}

bool RenameFolder(const std::u16string& from, const std::u16string& to) {
    return MoveFileExW(LongPath(from).c_str(), LongPath(to).c_str(), 0) != 0;
}

uint32_t ProcessId() {
    return uint32_t(GetCurrentProcessId());
}

}  // namespace corvella::platform
