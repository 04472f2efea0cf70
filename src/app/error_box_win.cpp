#include <windows.h>

#include <string>

#include "app/error_box.h"

namespace corvella {

void ShowErrorBox(std::u16string_view text) {
    const std::wstring message(reinterpret_cast<const wchar_t*>(text.data()), text.size());
    // No owner window: a worker thread must not wait on the user-interface thread's window.
    MessageBoxW(nullptr, message.c_str(), L"Corvella", MB_ICONEXCLAMATION | MB_OK);
}

}  // namespace corvella
