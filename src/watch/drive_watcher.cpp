// The watcher's two threads, and what they share.
//
// The reader blocks in the change source and appends each changed folder to the queue. The
// processor takes the front folder together with the copies of it that follow, waits for a
// burst in that folder to be quiet for the merge time, and applies it under CacheFileLock. The
// queue lock is held only to take or add entries, never while applying, so the two locks are
// never held together.
//
// The queue outlives every pause and stop: what is recorded while processing is paused (during
// a build, a defragmentation, a save or load of the cache) is applied once processing resumes.
//
// Stopping never hangs: a stop wakes the reader through its change source, which has a way to
// end a blocked read that cannot fail. A pause waits a bounded time for the processor; one that
// outlives it is kept aside, ends after its current folder (its generation is no longer the
// current one) and is joined at the next stop, and the apply guard keeps it from ever applying
// beside its successor.
//
// The idle sleep ends early when a folder is queued, so a change reaches the cache after the
// merge time rather than after a whole idle period.
#include "watch/drive_watcher.h"

#include <chrono>

#include "cache/cache_shared.h"

namespace corvella {

CDriveWatcher::CDriveWatcher(WatcherOptions options)
    : options_(std::move(options)), updater_(*options_.errors) {
    if (options_.listing) updater_.SetListingSource(options_.listing);
}

CDriveWatcher::~CDriveWatcher() {
    if (reader_.joinable() || processor_.joinable() || !late_processors_.empty()) Stop();
}

void CDriveWatcher::Init(const std::u16string& root) {
    root_ = root;
}

void CDriveWatcher::Start() {
    if (state_ == WatcherState::Running || state_ == WatcherState::Watching) return;
    stop_watching_ = false;
    stop_processing_ = false;
    StartReader();
    StartProcessor();
    state_ = WatcherState::Running;
}

void CDriveWatcher::StartWatchOnly() {
    if (state_ == WatcherState::Running || state_ == WatcherState::Watching) return;
    stop_watching_ = false;
    stop_processing_ = true;
    StartReader();
    state_ = WatcherState::Watching;
}

void CDriveWatcher::SetFlag(std::atomic<bool>& flag) {
    // Under the queue lock, so a thread about to sleep on the queue cannot miss it.
    {
        std::lock_guard lock(queue_lock_);
        flag = true;
    }
    queue_changed_.notify_all();
}

void CDriveWatcher::PauseProcessing() {
    if (state_ == WatcherState::Stopped) return;
    SetFlag(stop_processing_);
    if (processor_.joinable()) {
        const uint64_t generation = generation_;
        std::unique_lock lock(queue_lock_);
        const bool ended =
            queue_changed_.wait_for(lock, std::chrono::milliseconds(options_.pause_limit_ms),
                                    [&] { return finished_.count(generation) != 0; });
        lock.unlock();
        if (ended) {
            processor_.join();
        } else {
            late_processors_.push_back(std::move(processor_));
        }
    }
    state_ = WatcherState::Watching;
}

void CDriveWatcher::ResumeProcessing() {
    if (state_ != WatcherState::Watching) return;
    stop_processing_ = false;
    StartProcessor();
    state_ = WatcherState::Running;
}

void CDriveWatcher::Stop() {
    SetFlag(stop_processing_);
    JoinProcessors();

    SetFlag(stop_watching_);  // also ends the wait of a reader that could not open its root
    {
        std::lock_guard lock(source_lock_);
        if (source_open_) source_->Wake();
    }
    if (reader_.joinable()) reader_.join();
    if (source_) {
        source_->Close();
        source_.reset();
    }
    source_open_ = false;
    state_ = WatcherState::Stopped;
}

void CDriveWatcher::WaitUntilWatching() {
    if (!reader_.joinable()) return;
    std::unique_lock lock(source_lock_);
    source_tried_.wait(lock, [&] { return open_tried_; });
}

void CDriveWatcher::JoinProcessors() {
    if (processor_.joinable()) processor_.join();
    for (std::thread& late : late_processors_) late.join();
    late_processors_.clear();
}

void CDriveWatcher::StartReader() {
    if (reader_.joinable()) return;
    source_ = options_.make_source();
    {
        std::lock_guard lock(source_lock_);
        source_open_ = false;
        open_tried_ = false;
    }
    reader_ = std::thread([this] { WatchThreadProc(); });
}

void CDriveWatcher::StartProcessor() {
    if (processor_.joinable()) late_processors_.push_back(std::move(processor_));
    const uint64_t generation = ++generation_;
    processor_ = std::thread([this, generation] { ProcessThreadProc(generation); });
}

void CDriveWatcher::QueueFolders(const std::vector<std::u16string>& folders) {
    if (folders.empty()) return;
    {
        std::lock_guard lock(queue_lock_);
        queue_.insert(queue_.end(), folders.begin(), folders.end());
    }
    queue_changed_.notify_all();
}

template <typename Predicate>
void CDriveWatcher::SleepFor(std::unique_lock<std::mutex>& lock, uint32_t ms, Predicate wake) {
    queue_changed_.wait_for(lock, std::chrono::milliseconds(ms), wake);
}

void CDriveWatcher::WatchThreadProc() {
    std::u16string problem;
    const bool opened = source_->Open(root_, problem);
    // Reported once, and before a wait for the watch ends, so that it comes ahead of any word
    // that the program is watching.
    if (!opened) options_.errors->ShowError(problem);
    {
        std::lock_guard lock(source_lock_);
        source_open_ = opened;
        open_tried_ = true;
    }
    source_tried_.notify_all();
    if (!opened) {
        // The thread then waits for its stop instead of retrying in a loop.
        std::unique_lock lock(queue_lock_);
        queue_changed_.wait(lock, [&] { return stop_watching_.load(); });
        return;
    }
    std::vector<std::u16string> folders;
    while (!stop_watching_) {
        folders.clear();
        const platform::ChangeSource::ReadResult result = source_->Read(folders);
        const std::u16string notice = source_->TakeNotice();
        if (!notice.empty()) options_.errors->ShowError(notice);
        if (result == platform::ChangeSource::ReadResult::Changes) {
            QueueFolders(folders);
        } else if (result == platform::ChangeSource::ReadResult::Failed) {
            // A failing read is tried again, but not in a tight loop.
            std::unique_lock lock(queue_lock_);
            SleepFor(lock, options_.retry_ms, [&] { return stop_watching_.load(); });
        }
    }
}

bool CDriveWatcher::TakeNext(std::u16string& folder) {
    std::unique_lock lock(queue_lock_);
    if (queue_.empty()) return false;
    folder = std::move(queue_.front());
    queue_.pop_front();
    // A burst in one folder is applied once, after it has been quiet for the merge time.
    for (;;) {
        while (!queue_.empty() && queue_.front() == folder) queue_.pop_front();
        if (!queue_.empty()) break;
        const bool more = queue_changed_.wait_for(
            lock, std::chrono::milliseconds(options_.merge_ms), [&] { return !queue_.empty(); });
        if (!more) break;
    }
    return true;
}

void CDriveWatcher::ProcessThreadProc(uint64_t generation) {
    const auto current = [&] { return !stop_processing_ && generation_ == generation; };
    std::u16string folder;
    while (current()) {
        const bool idle = !TakeNext(folder);
        uint32_t pause_ms = idle ? options_.idle_ms : 0;
        if (!idle) {
            ApplyResult result = ApplyFolderChange(folder);
            // Another process's search holds the file for milliseconds: the folder is tried
            // again at once and again, not sent to the back of the queue through another merge.
            for (uint32_t waited = 0;
                 result == ApplyResult::InUse && current() && waited < options_.in_use_limit_ms;
                 waited += options_.in_use_ms) {
                std::unique_lock lock(queue_lock_);
                SleepFor(lock, options_.in_use_ms, [&] { return !current(); });
                lock.unlock();
                result = ApplyFolderChange(folder);
            }
            if (result == ApplyResult::InUse || result == ApplyResult::RetryLater) {
                QueueFolders({folder});
                pause_ms = options_.retry_ms;
            }
            if (options_.on_applied) options_.on_applied(folder, result);
        }
        if (!current()) break;
        if (pause_ms != 0) {
            std::unique_lock lock(queue_lock_);
            SleepFor(lock, pause_ms, [&] { return !current() || (idle && !queue_.empty()); });
        }
    }
    {
        std::lock_guard lock(queue_lock_);
        finished_.insert(generation);
    }
    queue_changed_.notify_all();
}

ApplyResult CDriveWatcher::ApplyFolderChange(const std::u16string& folder) {
    std::lock_guard guard(apply_guard_);
    std::lock_guard lock(CCacheShared::Instance().CacheFileLock());
    return updater_.ApplyFolderChange(options_.cache_path, folder);
}

}  // namespace corvella
