// One drive's watcher: a reader thread that records the folders in which changes happen, and a
// processor thread that applies them to the cache file one folder at a time.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "cache/listing_source.h"
#include "cache/sinks.h"
#include "platform/change_source.h"
#include "watch/folder_update.h"

namespace corvella {

enum class WatcherState { Idle = 0, Watching = 1, Stopped = 2, Running = 3 };

struct WatcherOptions {
    ErrorSink* errors = nullptr;  // required
    std::u16string cache_path;    // required: the cache file the changes are applied to
    // The system's change notification unless a test supplies its own.
    std::function<std::unique_ptr<platform::ChangeSource>()> make_source =
        platform::MakeSystemChangeSource;
    // Told of every folder the processor took and what became of it; on the processor thread.
    std::function<void(const std::u16string& folder, ApplyResult result)> on_applied;
    ListingSource* listing = nullptr;  // the file system unless a test supplies its own
    uint32_t merge_ms = 150;           // quiet time that ends a burst in one folder
    uint32_t idle_ms = 1000;           // longest sleep of an idle processor
    uint32_t pause_limit_ms = 8000;    // how long a pause waits for the processor to end
    uint32_t retry_ms = 1000;          // pause before a folder that could not be applied
    uint32_t in_use_ms = 5;            // between tries while another opener holds the file
    uint32_t in_use_limit_ms = 5000;   // ... after which the folder goes back in the queue
};

class CDriveWatcher {
  public:
    explicit CDriveWatcher(WatcherOptions options);
    ~CDriveWatcher();
    CDriveWatcher(const CDriveWatcher&) = delete;
    CDriveWatcher& operator=(const CDriveWatcher&) = delete;

    // Takes the root ("C:\", "/srv/data/").
    void Init(const std::u16string& root);
    void Start();
    void StartWatchOnly();
    void PauseProcessing();
    void ResumeProcessing();
    void Stop();
    // Returns once the reader has opened its root, so that a change made afterwards is seen, or
    // has failed to and reported it. A start hands the opening to the reader's thread, which may
    // take long on a tree watched folder by folder.
    void WaitUntilWatching();

    WatcherState state() const { return state_; }
    const std::u16string& root() const { return root_; }

    // Applies one folder as the processor does, under CacheFileLock.
    ApplyResult ApplyFolderChange(const std::u16string& folder);
    // Appends folders as the reader does; for the command line and tests.
    void QueueFolders(const std::vector<std::u16string>& folders);

  private:
    void StartReader();
    void StartProcessor();
    void JoinProcessors();
    void SetFlag(std::atomic<bool>& flag);
    void WatchThreadProc();
    void ProcessThreadProc(uint64_t generation);
    // Takes the next folder and the repeats of it that follow; false when the queue is empty.
    bool TakeNext(std::u16string& folder);
    // Sleeps up to `ms`, ending early when `wake` says so; the queue lock is held by `lock`.
    template <typename Predicate>
    void SleepFor(std::unique_lock<std::mutex>& lock, uint32_t ms, Predicate wake);

    WatcherOptions options_;
    WatcherState state_ = WatcherState::Idle;
    std::u16string root_;

    mutable std::mutex queue_lock_;
    std::condition_variable queue_changed_;  // a folder queued, or a stop flag set
    std::deque<std::u16string> queue_;

    std::atomic<bool> stop_watching_{false};
    std::atomic<bool> stop_processing_{false};
    // A processor ends when its generation is no longer the current one, so one that outlived a
    // pause ends after its folder instead of running beside its successor.
    std::atomic<uint64_t> generation_{0};
    std::set<uint64_t> finished_;  // generations whose processor has ended; under queue_lock_

    // Held while a folder is applied: two processors of this watcher never apply at once.
    std::mutex apply_guard_;
    CFolderUpdater updater_;

    std::mutex source_lock_;  // orders the reader's open against a stop's wake
    std::condition_variable source_tried_;
    std::unique_ptr<platform::ChangeSource> source_;
    bool source_open_ = false;
    bool open_tried_ = false;  // the reader's open has returned; under source_lock_

    std::thread reader_;
    std::thread processor_;
    std::vector<std::thread> late_processors_;  // outlived a pause; joined at Stop
};

}  // namespace corvella
