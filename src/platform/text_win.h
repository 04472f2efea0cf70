// The engine's UTF-16 text as the wide Windows API takes it, and back. Both are UTF-16 code
// units, so a conversion is a copy.
#pragma once

#include <string>
#include <string_view>

namespace corvella::platform {

std::wstring ToWide(std::u16string_view text);
std::u16string FromWide(const wchar_t* text, size_t length);

}  // namespace corvella::platform
