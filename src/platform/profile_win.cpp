#include <windows.h>

#include <vector>

#include "platform/profile.h"
#include "platform/text_win.h"

namespace corvella::platform {

std::u16string ReadIniString(const std::u16string& file, std::u16string_view section,
                             std::u16string_view key, std::u16string_view fallback) {
    std::vector<wchar_t> buffer(32768);
    const DWORD got = GetPrivateProfileStringW(
        ToWide(section).c_str(), ToWide(key).c_str(), ToWide(fallback).c_str(), buffer.data(),
        static_cast<DWORD>(buffer.size()), ToWide(file).c_str());
    return FromWide(buffer.data(), got);
}

bool WriteIniString(const std::u16string& file, std::u16string_view section,
                    std::u16string_view key, std::optional<std::u16string_view> value) {
    const std::wstring v = value ? ToWide(*value) : std::wstring();
    return WritePrivateProfileStringW(ToWide(section).c_str(), ToWide(key).c_str(),
                                      value ? v.c_str() : nullptr, ToWide(file).c_str()) != 0;
}

}  // namespace corvella::platform
