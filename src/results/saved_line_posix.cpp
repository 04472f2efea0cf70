#include "platform/text.h"
#include "results/results_writer.h"

namespace corvella {

// File names here are bytes, carried through UTF-16 exactly (text.h), so every line converts.
bool EncodeAnsiExactly(std::u16string_view text, std::string& bytes) {
    bytes = ToUtf8(text);
    return true;
}

}  // namespace corvella
