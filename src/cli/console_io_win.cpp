#include <io.h>
#include <windows.h>

#include "cli/console_io.h"
#include "platform/text.h"

namespace corvella {

namespace {

HANDLE ConsoleOf(FILE* stream) {
    HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    return h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode) ? h : nullptr;
}

}  // namespace

bool IsTerminal(FILE* stream) {
    return ConsoleOf(stream) != nullptr;
}

void WriteText(FILE* stream, std::u16string_view text) {
    if (HANDLE console = ConsoleOf(stream)) {
        std::fflush(stream);
        DWORD written = 0;
        WriteConsoleW(console, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    const std::string bytes = ToUtf8(text);
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
    if (stream == stderr) std::fflush(stream);
}

}  // namespace corvella
