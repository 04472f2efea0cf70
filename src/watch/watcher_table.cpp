#include "watch/watcher_table.h"

#include "platform/drives.h"

namespace corvella {

CWatcherTable::CWatcherTable(WatcherOptions options,
                             std::function<std::vector<std::u16string>()> roots)
    : options_(std::move(options)),
      roots_(roots ? std::move(roots) : std::function(platform::FixedDriveRoots)) {}

void CWatcherTable::StartAll(bool watch_only) {
    const std::vector<std::u16string> roots = roots_();
    std::lock_guard lock(table_lock_);
    started_ = 0;
    for (const std::u16string& root : roots) {
        if (started_ == kSlots) break;
        std::unique_ptr<CDriveWatcher>& watcher = slots_[started_];
        if (!watcher) watcher = std::make_unique<CDriveWatcher>(options_);
        // A slot that still runs (started twice) is stopped first, so it never has two readers.
        if (watcher->state() == WatcherState::Running || watcher->state() == WatcherState::Watching)
            watcher->Stop();
        watcher->Init(root);
        if (watch_only) {
            watcher->StartWatchOnly();
        } else {
            watcher->Start();
        }
        ++started_;
    }
}

void CWatcherTable::StartWatchers() {
    StartAll(/*watch_only=*/false);
}

void CWatcherTable::StartWatchersWatchOnly() {
    StartAll(/*watch_only=*/true);
}

template <typename Action>
void CWatcherTable::ForEachStarted(Action action) {
    std::lock_guard lock(table_lock_);
    for (size_t i = 0; i < started_; ++i) action(*slots_[i]);
}

void CWatcherTable::PauseWatchers() {
    ForEachStarted([](CDriveWatcher& w) { w.PauseProcessing(); });
}

void CWatcherTable::ResumeWatchers() {
    ForEachStarted([](CDriveWatcher& w) { w.ResumeProcessing(); });
}

void CWatcherTable::StopWatchers() {
    ForEachStarted([](CDriveWatcher& w) { w.Stop(); });
}

void CWatcherTable::WaitUntilWatching() {
    ForEachStarted([](CDriveWatcher& w) { w.WaitUntilWatching(); });
}

size_t CWatcherTable::started() const {
    std::lock_guard lock(table_lock_);
    return started_;
}

CDriveWatcher* CWatcherTable::slot(size_t index) {
    std::lock_guard lock(table_lock_);
    return index < kSlots ? slots_[index].get() : nullptr;
}

}  // namespace corvella
