#include "cache/prefetch_listing.h"

namespace corvella {

namespace {

// Listings kept for reuse: enough for every lister to find one, and none of a folder so large
// that keeping its buffers would hold memory the build no longer needs.
constexpr size_t kSpareListings = 16;
constexpr size_t kLargestKeptListing = 16384;

}  // namespace

PrefetchListing::PrefetchListing(unsigned workers, size_t max_waiting_listings)
    : max_waiting_(max_waiting_listings < 1 ? 1 : max_waiting_listings) {
    for (unsigned i = 0; i < (workers < 1 ? 1 : workers); ++i)
        workers_.emplace_back([this] { WorkerLoop(); });
}

PrefetchListing::~PrefetchListing() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    work_ready_.notify_all();
    for (std::thread& t : workers_) t.join();
}

void PrefetchListing::ListFolder(platform::DirLister& lister, const std::u16string& path,
                                 Listing& listing) {
    listing.items.clear();
    listing.names.clear();
    listing.opened = lister.Open(path);
    platform::DirEntry e;
    while (listing.opened && lister.Next(e)) {
        listing.items.push_back({static_cast<uint32_t>(listing.names.size()),
                                 static_cast<uint32_t>(e.name.size()), e.size_bytes, e.last_write,
                                 e.folder, e.no_enter});
        listing.names += e.name;
    }
    lister.Close();
}

std::unique_ptr<PrefetchListing::Listing> PrefetchListing::TakeSpare() {
    if (spares_.empty()) return std::make_unique<Listing>();
    std::unique_ptr<Listing> listing = std::move(spares_.back());
    spares_.pop_back();
    return listing;
}

void PrefetchListing::Recycle(std::unique_ptr<Listing> listing) {
    if (listing && spares_.size() < kSpareListings &&
        listing->items.capacity() <= kLargestKeptListing)
        spares_.push_back(std::move(listing));
}

uint32_t PrefetchListing::QueueChildren(const Key& key, const std::u16string& path,
                                        const Listing& listing) {
    const std::u16string_view names = listing.names;
    const char16_t separator = path.back();
    uint32_t child = 0;
    for (const Item& item : listing.items) {
        const std::u16string_view name = names.substr(item.name_offset, item.name_units);
        platform::DirEntry entry;
        entry.name = name;
        entry.folder = item.folder;
        entry.no_enter = item.no_enter;
        if (!platform::IsEnteredFolder(entry)) continue;
        Key child_key;
        child_key.reserve(key.size() + 1);
        child_key = key;
        child_key.push_back(child++);
        std::u16string child_path;
        child_path.reserve(path.size() + name.size() + 1);
        child_path = path;
        child_path += name;
        child_path += separator;
        key_of_path_[child_path] = child_key;
        queue_.emplace(std::move(child_key), std::move(child_path));
    }
    return child;
}

void PrefetchListing::WorkerLoop() {
    platform::DirLister lister;
    std::unique_lock lock(mutex_);
    for (;;) {
        ++idle_workers_;
        std::map<Key, std::u16string>::iterator next;
        work_ready_.wait(lock, [&] {
            if (stop_) return true;
            if (queue_.empty()) return false;
            // The folder the writer waits for comes first, past the limit too.
            if (writer_waiting_ && (next = queue_.find(writer_at_)) != queue_.end()) return true;
            next = queue_.begin();
            return done_.size() + in_flight_ < max_waiting_;
        });
        --idle_workers_;
        if (stop_) return;
        const Key key = next->first;
        const std::u16string path = std::move(next->second);
        queue_.erase(next);
        const uint64_t generation = generation_;
        std::unique_ptr<Listing> listing = TakeSpare();
        ++in_flight_;
        lock.unlock();

        ListFolder(lister, path, *listing);

        lock.lock();
        --in_flight_;
        // A walk that started anew, or a folder the writer has gone past (one it chose not to
        // walk): nothing here will be asked for.
        if (generation != generation_ || key < writer_at_) {
            Recycle(std::move(listing));
            WakeIdleWorkers();  // the limit may have freed a place
            continue;
        }
        const uint32_t children = QueueChildren(key, path, *listing);
        done_.emplace(key, std::move(listing));
        // Wake-ups cost more than listing a small folder: only the ones that are needed.
        if (writer_waiting_ && key == writer_at_) listing_ready_.notify_one();
        if (children > 1) WakeIdleWorkers();
    }
}

void PrefetchListing::WakeIdleWorkers() {
    if (idle_workers_ > 0 && !queue_.empty()) work_ready_.notify_all();
}

void PrefetchListing::StartWalk(const std::u16string& root) {
    ++generation_;
    queue_.clear();
    done_.clear();
    key_of_path_.clear();
    key_of_path_[root] = Key{};
    writer_at_ = Key{};
    queue_.emplace(Key{}, root);
}

void PrefetchListing::DropBefore(const Key& key) {
    for (auto it = queue_.begin(); it != queue_.end() && it->first < key;) {
        key_of_path_.erase(it->second);
        it = queue_.erase(it);
    }
    for (auto it = done_.begin(); it != done_.end() && it->first < key;) {
        Recycle(std::move(it->second));
        it = done_.erase(it);
    }
}

bool PrefetchListing::Open(const std::u16string& folder) {
    std::unique_ptr<Listing> unclosed = std::move(current_);
    std::unique_lock lock(mutex_);
    Recycle(std::move(finished_));
    Recycle(std::move(unclosed));
    auto known = key_of_path_.find(folder);
    if (known == key_of_path_.end()) {
        StartWalk(folder);
        known = key_of_path_.find(folder);
    }
    const Key key = known->second;
    key_of_path_.erase(known);
    DropBefore(key);
    writer_at_ = key;
    position_ = 0;
    auto found = done_.find(key);
    if (found == done_.end()) {
        auto queued = queue_.find(key);
        if (queued != queue_.end()) {
            // No worker has taken it: listing it here is quicker than waking one and waiting.
            // Only this thread starts walks, so the key stays valid while the lock is let go.
            const std::u16string path = std::move(queued->second);
            queue_.erase(queued);
            current_ = TakeSpare();
            lock.unlock();
            ListFolder(own_lister_, path, *current_);
            lock.lock();
            QueueChildren(key, path, *current_);
        } else {
            // A worker lists it now.
            writer_waiting_ = true;
            WakeIdleWorkers();  // past the limit, they wait for exactly this
            listing_ready_.wait(lock, [&] { return (found = done_.find(key)) != done_.end(); });
            writer_waiting_ = false;
        }
    }
    if (!current_) {
        current_ = std::move(found->second);
        done_.erase(found);
    }
    if (done_.size() + in_flight_ < max_waiting_) WakeIdleWorkers();  // a place is free
    lock.unlock();
    return current_->opened;
}

bool PrefetchListing::Next(platform::DirEntry& entry) {
    if (!current_ || position_ >= current_->items.size()) return false;
    const Item& item = current_->items[position_++];
    entry.name = std::u16string_view(current_->names).substr(item.name_offset, item.name_units);
    entry.size_bytes = item.size_bytes;
    entry.last_write = item.last_write;
    entry.folder = item.folder;
    entry.no_enter = item.no_enter;
    return true;
}

void PrefetchListing::Close() {
    finished_ = std::move(current_);
}

}  // namespace corvella
