// Text conversion between the engine's UTF-16 and the platforms' encodings.
//
// Names on POSIX are bytes, usually UTF-8 but not always. A byte that does not decode is carried
// as the lone low surrogate U+DC80..U+DCFF (0x80..0xFF) and turned back into the same byte on the
// way out, so every name the file system hands us can be given back to it unchanged.
#pragma once

#include <string>
#include <string_view>

namespace corvella {

std::u16string FromUtf8(std::string_view bytes);
// Appends instead of returning, for loops that reuse one buffer.
void AppendFromUtf8(std::string_view bytes, std::u16string& out);
std::string ToUtf8(std::u16string_view text);

// The text without blanks (space, tab, CR, LF) at either end.
std::u16string_view TrimBlanks(std::u16string_view text);

// ASCII-only case-insensitive equality, as used for drive letters and fixed folder paths.
bool EqualsAsciiNoCase(std::u16string_view a, std::u16string_view b);

// A plain ASCII literal widened; for the fixed texts of messages.
std::u16string Widen(std::string_view ascii);

// Sixteen lowercase hex digits of the FNV-1a hash of the text's UTF-8: the same in every run and
// build, so that a keeper and its clients name one socket or pipe for one cache file.
std::string StableHashName(std::u16string_view text);

}  // namespace corvella
