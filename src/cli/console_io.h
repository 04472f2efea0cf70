// Writing text to a standard stream in the platform's way.
#pragma once

#include <cstdio>
#include <string_view>

namespace corvella {

bool IsTerminal(FILE* stream);
// UTF-8 on POSIX (escaped bytes of undecodable names go out as themselves); on Windows, UTF-16
// to a console window and UTF-8 to a pipe or file.
void WriteText(FILE* stream, std::u16string_view text);

}  // namespace corvella
