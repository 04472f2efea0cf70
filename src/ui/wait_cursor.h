// The hourglass for a piece of work on the user-interface thread that the user waits for; the
// arrow comes back when the guard goes, also on an early return.
#pragma once

#include <windows.h>

namespace corvella::ui {

class WaitCursor {
  public:
    WaitCursor() { SetCursor(LoadCursorW(nullptr, IDC_WAIT)); }
    ~WaitCursor() { SetCursor(LoadCursorW(nullptr, IDC_ARROW)); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace corvella::ui
