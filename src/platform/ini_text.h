// INI text with the private-profile rules of Windows: sections and keys compared regardless of
// case, blanks around keys and values ignored, a value in matching double quotes read without
// them, and writing no value deletes the key. Used on POSIX, where there is no such API.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace corvella {

std::optional<std::u16string> IniGet(std::u16string_view text, std::u16string_view section,
                                     std::u16string_view key);
// Returns the text with the key set (section added at the end when missing), or removed when
// `value` is empty. Lines that are not touched stay exactly as they were.
std::u16string IniSet(std::u16string_view text, std::u16string_view section,
                      std::u16string_view key, std::optional<std::u16string_view> value);
// Returns the text with the whole section replaced by `entries` in their order (added at the end
// when missing): none of its old keys, comments or blank lines stay. Other sections are untouched.
using IniEntries = std::vector<std::pair<std::u16string, std::u16string>>;
std::u16string IniSetSection(std::u16string_view text, std::u16string_view section,
                             const IniEntries& entries);
// A number read as _wtoi reads it: blanks, an optional sign, the leading digits; else 0.
int IniNumber(std::u16string_view text);

}  // namespace corvella
