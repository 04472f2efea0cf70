// The table of drive watchers that the program owns: one slot per fixed drive, up to 32, started,
// paused, resumed and stopped together.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "watch/drive_watcher.h"

namespace corvella {

class CWatcherTable {
  public:
    static constexpr size_t kSlots = 32;

    // `roots` gives the roots to watch at each start, in slot order: by default the fixed drives.
    explicit CWatcherTable(WatcherOptions options,
                           std::function<std::vector<std::u16string>()> roots = {});
    CWatcherTable(const CWatcherTable&) = delete;
    CWatcherTable& operator=(const CWatcherTable&) = delete;

    void StartWatchers();
    void StartWatchersWatchOnly();
    void PauseWatchers();
    void ResumeWatchers();
    void StopWatchers();
    // Returns once every started watcher has opened its root or failed to.
    void WaitUntilWatching();

    size_t started() const;
    // The watcher in a slot, or null; for tests and the command line.
    CDriveWatcher* slot(size_t index);

  private:
    void StartAll(bool watch_only);
    template <typename Action>
    void ForEachStarted(Action action);

    WatcherOptions options_;
    std::function<std::vector<std::u16string>()> roots_;
    mutable std::mutex table_lock_;
    std::array<std::unique_ptr<CDriveWatcher>, kSlots> slots_;
    size_t started_ = 0;
};

}  // namespace corvella
