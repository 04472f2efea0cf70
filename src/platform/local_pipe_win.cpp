#include "platform/local_pipe_win.h"

#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <vector>

#include "platform/text.h"
#include "platform/text_win.h"

namespace corvella::platform {

namespace {

constexpr DWORD kBufferBytes = 64 * 1024;

// This process's user, as the token's TOKEN_USER; empty when it cannot be read.
std::vector<uint8_t> ThisUser() {
    HANDLE token_value = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token_value)) return {};
    const Handle token(token_value);
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    std::vector<uint8_t> user(size);
    if (size == 0 || !GetTokenInformation(token.get(), TokenUser, user.data(), size, &size))
        return {};
    return user;
}

PSID SidOf(std::vector<uint8_t>& user) {
    return reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
}

// "O:<this user>D:P(A;;GA;;;<this user>)": owned by this user, and a protected list that allows
// this user alone. The owner is set rather than left to the token's default (the
// administrators' group for an elevated one), so that a client can tell the pipe is its user's.
class UserOnlySecurity {
  public:
    UserOnlySecurity() {
        std::vector<uint8_t> user = ThisUser();
        wchar_t* sid = nullptr;
        if (user.empty() || !ConvertSidToStringSidW(SidOf(user), &sid)) return;
        const std::wstring me(sid);
        LocalFree(sid);
        const std::wstring text = L"O:" + me + L"D:P(A;;GA;;;" + me + L")";
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(text.c_str(), SDDL_REVISION_1,
                                                                  &descriptor_, nullptr))
            descriptor_ = nullptr;
    }
    ~UserOnlySecurity() {
        if (descriptor_) LocalFree(descriptor_);
    }
    UserOnlySecurity(const UserOnlySecurity&) = delete;
    UserOnlySecurity& operator=(const UserOnlySecurity&) = delete;
    // Nothing when the descriptor could not be made: then no pipe is made either.
    SECURITY_ATTRIBUTES* attributes() {
        if (!descriptor_) return nullptr;
        attributes_ = {sizeof attributes_, descriptor_, FALSE};
        return &attributes_;
    }

  private:
    PSECURITY_DESCRIPTOR descriptor_ = nullptr;
    SECURITY_ATTRIBUTES attributes_{};
};

// One overlapped read or write of up to `size` bytes; how many moved, or 0 when it failed.
DWORD TransferOnce(HANDLE pipe, HANDLE stop, bool write, uint8_t* data, size_t size,
                   DWORD timeout_ms) {
    const Handle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!done) return 0;
    OVERLAPPED overlapped{};
    overlapped.hEvent = done.get();
    const DWORD chunk = DWORD(std::min<size_t>(size, kBufferBytes));
    DWORD moved = 0;
    const BOOL finished = write ? WriteFile(pipe, data, chunk, &moved, &overlapped)
                                : ReadFile(pipe, data, chunk, &moved, &overlapped);
    if (!finished) {
        if (GetLastError() != ERROR_IO_PENDING) return 0;
        const HANDLE waits[2] = {done.get(), stop};
        if (WaitForMultipleObjects(stop ? 2 : 1, waits, FALSE, timeout_ms) != WAIT_OBJECT_0)
            CancelIoEx(pipe, &overlapped);
        // Waited for even when cancelled: the system writes into `overlapped` until it is done.
        if (!GetOverlappedResult(pipe, &overlapped, &moved, TRUE)) return 0;
    }
    return moved;
}

// A pipe another user made first under this name would hear what this user searches for and
// answer what it likes.
bool OwnedByThisUser(HANDLE pipe) {
    std::vector<uint8_t> user = ThisUser();
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (user.empty() || GetSecurityInfo(pipe, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner,
                                        nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    const bool same = owner != nullptr && EqualSid(owner, SidOf(user));
    LocalFree(descriptor);
    return same;
}

bool Transfer(HANDLE pipe, HANDLE stop, bool write, uint8_t* data, size_t size, DWORD timeout_ms) {
    while (size > 0) {
        const DWORD moved = TransferOnce(pipe, stop, write, data, size, timeout_ms);
        if (moved == 0) return false;
        data += moved;
        size -= moved;
    }
    return true;
}

}  // namespace

std::wstring KeeperPipeName(const std::u16string& cache_path) {
    return L"\\\\.\\pipe\\corvella-" + ToWide(Widen(StableHashName(cache_path)));
}

FileHandle MakePipeInstance(const std::wstring& name, bool first) {
    UserOnlySecurity security;
    if (!security.attributes()) return FileHandle();
    return FileHandle(CreateNamedPipeW(
        name.c_str(),
        PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | (first ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0),
        PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
        PIPE_UNLIMITED_INSTANCES, kBufferBytes, kBufferBytes, 0, security.attributes()));
}

FileHandle ConnectPipe(const std::wstring& name, DWORD timeout_ms) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        // Identification only: the program learns who asks, and cannot act as the asker.
        FileHandle pipe(CreateFileW(
            name.c_str(), GENERIC_READ | GENERIC_WRITE | READ_CONTROL, 0, nullptr, OPEN_EXISTING,
            FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr));
        if (pipe) return OwnedByThisUser(pipe.get()) ? std::move(pipe) : FileHandle();
        if (GetLastError() != ERROR_PIPE_BUSY) return pipe;
        if (!WaitNamedPipeW(name.c_str(), timeout_ms)) break;
    }
    return FileHandle();
}

bool AwaitPipeClient(HANDLE pipe, HANDLE stop) {
    const Handle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!done) return false;
    OVERLAPPED overlapped{};
    overlapped.hEvent = done.get();
    if (ConnectNamedPipe(pipe, &overlapped)) return true;
    switch (GetLastError()) {
        case ERROR_PIPE_CONNECTED:
            return true;
        case ERROR_IO_PENDING:
            break;
        default:
            return false;
    }
    const HANDLE waits[2] = {done.get(), stop};
    if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0)
        CancelIoEx(pipe, &overlapped);
    DWORD ignored = 0;
    return GetOverlappedResult(pipe, &overlapped, &ignored, TRUE) != 0;
}

bool PipeRead(HANDLE pipe, HANDLE stop, uint8_t* data, size_t size, DWORD timeout_ms) {
    return Transfer(pipe, stop, false, data, size, timeout_ms);
}

bool PipeWrite(HANDLE pipe, HANDLE stop, const uint8_t* data, size_t size, DWORD timeout_ms) {
    return Transfer(pipe, stop, true, const_cast<uint8_t*>(data), size, timeout_ms);
}

}  // namespace corvella::platform
