#include "platform/text.h"
#include "results/results_writer.h"

namespace corvella {

std::string EncodeSavedLine(std::u16string_view line) {
    return ToUtf8(line) + "\r\n";
}

}  // namespace corvella
