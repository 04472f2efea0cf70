// An event that resets itself: Set lets exactly one Wait through, now or later, and a Wait with a
// zero timeout tests it without blocking. Built on the standard library, so the engine's threads
// need nothing from the operating system to signal one another.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace corvella::platform {

class Event {
  public:
    explicit Event(bool signalled = false) : signalled_(signalled) {}
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void Set() {
        // Notified under the lock: a waiter that wakes may destroy the event at once.
        std::lock_guard lock(mutex_);
        signalled_ = true;
        changed_.notify_one();
    }

    void Reset() {
        std::lock_guard lock(mutex_);
        signalled_ = false;
    }

    // Takes the signal; false when it did not come within `timeout`.
    bool Wait(std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        if (!changed_.wait_for(lock, timeout, [this] { return signalled_; })) return false;
        signalled_ = false;
        return true;
    }

    void Wait() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return signalled_; });
        signalled_ = false;
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool signalled_;
};

}  // namespace corvella::platform
