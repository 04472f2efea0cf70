#include <windows.h>

#include "cli/interrupt.h"
#include "platform/handle_win.h"

namespace corvella {

namespace {

// Process-wide because the console handler takes no context; one InterruptWait at a time owns
// them.
platform::Handle g_interrupted;  // set by the console handler
platform::Handle g_done;         // set once the command has cleaned up
platform::Handle g_woken;        // set by Wake, taken by Wait

BOOL WINAPI OnConsoleEvent(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
        return FALSE;
    SetEvent(g_interrupted.get());
    // The system ends the process when this handler returns from a close, so the cleanup is
    // given a few seconds (the system allows five) before that.
    if (event == CTRL_CLOSE_EVENT) WaitForSingleObject(g_done.get(), 4000);
    return TRUE;
}

}  // namespace

InterruptWait::InterruptWait() {
    g_interrupted.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    g_done.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    g_woken.Reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

InterruptWait::~InterruptWait() {
    SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
    g_woken.Close();
    g_done.Close();
    g_interrupted.Close();
}

bool InterruptWait::Wait() {
    if (!g_interrupted || !g_woken) return true;
    const HANDLE events[2] = {g_interrupted.get(), g_woken.get()};
    // The first signalled one in this order: an interrupt wins over a wake.
    return WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0 + 1;
}

void InterruptWait::Wake() {
    if (g_woken) SetEvent(g_woken.get());
}

void InterruptWait::Done() {
    if (g_done) SetEvent(g_done.get());
}

}  // namespace corvella
