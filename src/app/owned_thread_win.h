// A system thread owned by one object: started with a priority, joined and closed by its owner.
// A thread of the system rather than std::thread, since its priority is the system's to set.
#pragma once

#include <windows.h>

#include <functional>

#include "platform/handle_win.h"

namespace corvella {

class OwnedThread {
  public:
    OwnedThread() = default;
    // Joins: what the thread touches outlives it when the owner declares this after it.
    ~OwnedThread() { Join(); }
    OwnedThread(const OwnedThread&) = delete;
    OwnedThread& operator=(const OwnedThread&) = delete;

    // Joins the thread started before, if any, then runs `work` on a new thread at `priority`
    // (THREAD_PRIORITY_...). False when no thread could be made.
    bool Start(std::function<void()> work, int priority);
    // Waits until the thread has ended and closes its handle; safe to call twice.
    void Join();

  private:
    platform::Handle handle_;
};

}  // namespace corvella
