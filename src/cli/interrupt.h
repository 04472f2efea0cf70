// Waiting until the user stops a command that runs until interrupted: Ctrl+C or SIGTERM on
// POSIX; Ctrl+C, Ctrl+Break or closing the console window on Windows.
#pragma once

namespace corvella {

class InterruptWait {
  public:
    // Takes over the interrupts; until then they end the process as usual.
    InterruptWait();
    // Gives them back.
    ~InterruptWait();
    InterruptWait(const InterruptWait&) = delete;
    InterruptWait& operator=(const InterruptWait&) = delete;

    // Returns once an interrupt arrived (at once if one already has): true; or, false, once
    // Wake was called, from any thread, since the last return.
    bool Wait();
    void Wake();
    // Says the command has finished its cleanup; a console being closed waits for it.
    void Done();
};

}  // namespace corvella
