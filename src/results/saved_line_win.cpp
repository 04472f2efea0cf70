#include <windows.h>

#include "results/results_writer.h"

namespace corvella {

std::string EncodeSavedLine(std::u16string_view line) {
    std::string bytes;
    if (!line.empty()) {
        const auto* wide = reinterpret_cast<const wchar_t*>(line.data());
        const int length = static_cast<int>(line.size());
        const int need = WideCharToMultiByte(CP_ACP, 0, wide, length, nullptr, 0, nullptr, nullptr);
        bytes.resize(need > 0 ? static_cast<size_t>(need) : 0);
        if (need > 0)
            WideCharToMultiByte(CP_ACP, 0, wide, length, bytes.data(), need, nullptr, nullptr);
    }
    return bytes + "\r\n";
}

}  // namespace corvella
