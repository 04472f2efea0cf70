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

bool WriteIniSection(const std::u16string& file, std::u16string_view section,
                     const std::vector<std::pair<std::u16string, std::u16string>>& entries) {
    // "key=value" strings one after another, each ending in a NUL, the list in a second NUL.
    std::wstring block;
    for (const auto& [key, value] : entries) {
        block += ToWide(key) + L'=' + ToWide(value);
        block += L'\0';
    }
    block += L'\0';
    return WritePrivateProfileSectionW(ToWide(section).c_str(), block.c_str(),
                                       ToWide(file).c_str()) != 0;
}

}  // namespace corvella::platform
