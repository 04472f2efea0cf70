#include <windows.h>

#include <string>

#include "app/error_box.h"
#include "platform/text_win.h"
#include "ui/app.h"

namespace corvella {

void ShowErrorBox(std::u16string_view text) {
    const std::wstring message = platform::ToWide(text);
    // Owned by the main window on the thread that runs it; a worker thread's box has no owner,
    // so it never waits on the user-interface thread's window.
    const ui::App* app = ui::App::Current();
    MessageBoxW(app ? app->main_window() : nullptr, message.c_str(), L"Corvella",
                MB_ICONEXCLAMATION | MB_OK);
}

}  // namespace corvella
