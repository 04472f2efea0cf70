#include "ui/app.h"

#include "ui/dialog.h"
#include "ui/subclassed_wnd.h"

namespace corvella::ui {

namespace {

thread_local App* current_app = nullptr;

// The window a child window lives in; null for a top-level window, whose parent (if any) is its
// owner and does not see its messages.
HWND ContainerOf(HWND window) {
    return (GetWindowLongPtrW(window, GWL_STYLE) & WS_CHILD) ? GetParent(window) : nullptr;
}

}  // namespace

int App::Run(Dialog& main_dialog) {
    if (current_app) return -1;
    current_app = this;
    main_dialog_ = &main_dialog;
    const int result = main_dialog.DoModal(nullptr);
    main_dialog_ = nullptr;
    current_app = nullptr;
    return result;
}

HWND App::main_window() const {
    return main_dialog_ ? main_dialog_->hwnd() : nullptr;
}

App* App::Current() {
    return current_app;
}

bool PreTranslate(MSG& message) {
    if (current_app && current_app->PreTranslateMessage(message)) return true;
    if (!message.hwnd) return false;  // a thread message
    HWND top = message.hwnd;
    for (HWND window = message.hwnd; window; window = ContainerOf(window)) {
        top = window;
        if (SubclassedWnd* control = SubclassedWnd::FromHandle(window)) {
            if (control->PreTranslateMessage(message)) return true;
        }
        if (Dialog* dialog = Dialog::FromHandle(window)) {
            if (dialog->PreTranslateMessage(message)) return true;
        }
    }
    return Dialog::FromHandle(top) != nullptr && IsDialogMessageW(top, &message);
}

}  // namespace corvella::ui
