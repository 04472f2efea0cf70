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
    return CopyFileW(LongPath(from).c_str(), LongPath(to).c_str(), TRUE) != 0;
}

bool RenameFolder(const std::u16string& from, const std::u16string& to) {
    return MoveFileExW(LongPath(from).c_str(), LongPath(to).c_str(), 0) != 0;
}

uint32_t ProcessId() {
    return uint32_t(GetCurrentProcessId());
}

}  // namespace corvella::platform
