#include <unistd.h>

#include "cli/console_io.h"
#include "platform/text.h"

namespace corvella {

bool IsTerminal(FILE* stream) {
    return ::isatty(::fileno(stream)) == 1;
}

void WriteText(FILE* stream, std::u16string_view text) {
    const std::string bytes = ToUtf8(text);
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
    if (stream == stderr) std::fflush(stream);
}

}  // namespace corvella
