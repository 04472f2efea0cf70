#include <windows.h>

#include <string>

#include "platform/keeper_lock.h"
#include "platform/long_path_win.h"

namespace corvella::platform {

namespace {

uint32_t ReadHolder(const std::u16string& cache_path) {
    // Read and write sharing: the keeper's own handle writes.
    FileHandle file(CreateFileW(LongPath(KeeperLockPath(cache_path)).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return 0;
    char text[16] = {};
    DWORD got = 0;
    if (!ReadFile(file.get(), text, sizeof text - 1, &got, nullptr)) return 0;
    uint32_t id = 0;
    for (DWORD i = 0; i < got && text[i] >= '0' && text[i] <= '9'; ++i)
        id = id * 10 + uint32_t(text[i] - '0');
    return id;
}

// The keeper's own open: writing, shared for reading only.
void* OpenForKeeping(const std::u16string& cache_path, DWORD disposition) {
    return CreateFileW(LongPath(KeeperLockPath(cache_path)).c_str(), GENERIC_READ | GENERIC_WRITE,
                       FILE_SHARE_READ, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

KeeperLockOutcome KeeperLock::Acquire(const std::u16string& cache_path) {
    Release();
    FileHandle file(OpenForKeeping(cache_path, OPEN_ALWAYS));
    if (!file) {
        if (GetLastError() != ERROR_SHARING_VIOLATION) return KeeperLockOutcome::Failed;
        holder_ = ReadHolder(cache_path);
        return KeeperLockOutcome::Taken;
    }
    holder_ = uint32_t(GetCurrentProcessId());
    const std::string id = std::to_string(holder_) + "\r\n";
    DWORD written = 0;
    // The id is for messages only: a file it could not be written to still locks.
    if (WriteFile(file.get(), id.data(), DWORD(id.size()), &written, nullptr))
        SetEndOfFile(file.get());
    file_ = std::move(file);
    return KeeperLockOutcome::Held;
}

bool KeeperLock::IsHeld() const {
    return file_.IsOpen();
}

void KeeperLock::Release() {
    file_.Close();
}

std::optional<uint32_t> KeeperOf(const std::u16string& cache_path) {
    FileHandle file(OpenForKeeping(cache_path, OPEN_EXISTING));
    if (file || GetLastError() != ERROR_SHARING_VIOLATION) return std::nullopt;
    return ReadHolder(cache_path);
}

}  // namespace corvella::platform
