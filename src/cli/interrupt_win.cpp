#include <windows.h>

#include "cli/interrupt.h"

namespace corvella {

namespace {

HANDLE g_interrupted = nullptr;  // set by the console handler
HANDLE g_done = nullptr;         // set once the command has cleaned up

BOOL WINAPI OnConsoleEvent(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
        return FALSE;
    SetEvent(g_interrupted);
    // The system ends the process when this handler returns from a close, so the cleanup is
    // given a few seconds (the system allows five) before that.
    if (event == CTRL_CLOSE_EVENT) WaitForSingleObject(g_done, 4000);
    return TRUE;
}

}  // namespace

InterruptWait::InterruptWait() {
    g_interrupted = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    g_done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

InterruptWait::~InterruptWait() {
    SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
    if (g_done) CloseHandle(g_done);
    if (g_interrupted) CloseHandle(g_interrupted);
    g_done = g_interrupted = nullptr;
}

void InterruptWait::Wait() {
    if (g_interrupted) WaitForSingleObject(g_interrupted, INFINITE);
}

void InterruptWait::Done() {
    if (g_done) SetEvent(g_done);
}

}  // namespace corvella
