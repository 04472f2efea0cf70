// Settings and state files: INI files read and written key by key.
// Windows uses the private-profile API; POSIX keeps the same rules in ini_text.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace corvella::platform {

std::u16string ReadIniString(const std::u16string& file, std::u16string_view section,
                             std::u16string_view key, std::u16string_view fallback);
// No value deletes the key. False when the file could not be written.
bool WriteIniString(const std::u16string& file, std::u16string_view section,
                    std::u16string_view key, std::optional<std::u16string_view> value);

// Replaces the whole section by `entries` in one write, so that a failure leaves the section as
// it was rather than half old, half new. False when the file could not be written.
bool WriteIniSection(const std::u16string& file, std::u16string_view section,
                     const std::vector<std::pair<std::u16string, std::u16string>>& entries);

}  // namespace corvella::platform
