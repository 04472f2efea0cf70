#include <windows.h>
// windows.h turns WriteProfileString into WriteProfileStringW, which would rename ours in
// this file only.
#undef WriteProfileString

#include <vector>

#include "platform/profile.h"
#include "platform/text_win.h"

namespace corvella::platform {

namespace {

std::wstring Wide(std::u16string_view s) {
    return ToWide(std::u16string(s));
}

}  // namespace

std::u16string ReadProfileString(const std::u16string& file, std::u16string_view section,
                                 std::u16string_view key, std::u16string_view fallback) {
    std::vector<wchar_t> buffer(32768);
    const DWORD got = GetPrivateProfileStringW(
        Wide(section).c_str(), Wide(key).c_str(), Wide(fallback).c_str(), buffer.data(),
        static_cast<DWORD>(buffer.size()), ToWide(file).c_str());
    return FromWide(buffer.data(), got);
}

bool WriteProfileString(const std::u16string& file, std::u16string_view section,
                        std::u16string_view key, std::optional<std::u16string_view> value) {
    const std::wstring v = value ? Wide(*value) : std::wstring();
    return WritePrivateProfileStringW(Wide(section).c_str(), Wide(key).c_str(),
                                      value ? v.c_str() : nullptr, ToWide(file).c_str()) != 0;
}

}  // namespace corvella::platform
