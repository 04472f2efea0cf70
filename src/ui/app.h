// The application runner: runs the main dialog modally on the calling thread and returns when it
// ends; the process is expected to end after. While it runs, the app gets the first look at
// every queued message.
#pragma once

#include <windows.h>

namespace corvella::ui {

class Dialog;

class App {
  public:
    App() = default;
    virtual ~App() = default;
    App(const App&) = delete;
    App& operator=(const App&) = delete;

    // Runs `main_dialog` with no owner and returns its result (-1 when it cannot be created).
    // One app runs at a time.
    int Run(Dialog& main_dialog);

    // The running app's main dialog; null outside Run and before its WM_INITDIALOG.
    HWND main_window() const;
    // The app inside whose Run the calling thread is: null on every other thread, which is how
    // a worker learns that it has no window to own its message boxes.
    static App* Current();

    // Called with each queued message before any window sees it; true swallows it.
    virtual bool PreTranslateMessage(MSG& message) { return false; }

  private:
    Dialog* main_dialog_ = nullptr;
};

// The step of every message loop of the framework before a message is translated and
// dispatched. The message is offered, in this order, to the running app, to the framework's
// subclassed controls and dialogs from its target window outwards to the top-level window, and
// to the dialog manager (IsDialogMessage) of that top-level window when it is one of our dialogs.
// True when one of them took the message: the caller then drops it.
bool PreTranslate(MSG& message);

}  // namespace corvella::ui
