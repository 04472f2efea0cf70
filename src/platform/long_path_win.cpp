#include "platform/long_path_win.h"

#include <windows.h>

#include "platform/text_win.h"

namespace corvella::platform {

std::wstring LongPath(const std::u16string& path) {
    std::wstring wide = ToWide(path);
    if (wide.rfind(L"\\\\?\\", 0) == 0 || wide.rfind(L"\\\\.\\", 0) == 0) return wide;
    // \\?\ turns off the API's own clean-up of "/", "." and "..", so resolve first.
    DWORD need = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (need == 0) return wide;
    std::wstring full(need, L'\0');
    DWORD got = GetFullPathNameW(wide.c_str(), need, full.data(), nullptr);
    if (got == 0 || got >= need) return wide;
    full.resize(got);
    // A trailing "\" is kept as the system gives it: without it "\\?\C:" names the volume, not
    // the folder at its root.
    if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

}  // namespace corvella::platform
