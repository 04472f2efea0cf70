// Settings and state files: INI files read and written key by key.
// Windows uses the private-profile API; POSIX keeps the same rules in ini_text.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace corvella::platform {

std::u16string ReadIniString(const std::u16string& file, std::u16string_view section,
                             std::u16string_view key, std::u16string_view fallback);
// No value deletes the key. False when the file could not be written.
bool WriteIniString(const std::u16string& file, std::u16string_view section,
                    std::u16string_view key, std::optional<std::u16string_view> value);

}  // namespace corvella::platform
