#include <windows.h>

#include "results/results_writer.h"

namespace corvella {

bool EncodeAnsiExactly(std::u16string_view text, std::string& bytes) {
    bytes.clear();
    if (text.empty()) return true;
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const int length = static_cast<int>(text.size());
    const UINT code_page = GetACP();
    // A UTF-8 system code page has no default character to report; it fails on what it cannot
    // encode (an unpaired surrogate) instead.
    const bool utf8 = code_page == CP_UTF8;
    const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL defaulted = FALSE;
    BOOL* const report = utf8 ? nullptr : &defaulted;
    const int need =
        WideCharToMultiByte(code_page, flags, wide, length, nullptr, 0, nullptr, report);
    if (need <= 0 || defaulted) return false;
    bytes.resize(static_cast<size_t>(need));
    return WideCharToMultiByte(code_page, flags, wide, length, bytes.data(), need, nullptr,
                               report) == need &&
           !defaulted;
}

}  // namespace corvella
