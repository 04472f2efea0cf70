#include "cache/prefetch_listing.h"

namespace corvella {

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

std::unique_ptr<PrefetchListing::Listing> PrefetchListing::ListFolder(platform::DirLister& lister,
                                                                      const std::u16string& path) {
    auto listing = std::make_unique<Listing>();
    listing->opened = lister.Open(path);
    platform::DirEntry e;
    while (listing->opened && lister.Next(e)) {
        listing->items.push_back({static_cast<uint32_t>(listing->names.size()),
                                  static_cast<uint32_t>(e.name.size()), e.size_bytes, e.last_write,
                                  e.folder, e.no_enter});
        listing->names += e.name;
    }
    lister.Close();
    return listing;
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
        ++in_flight_;
        lock.unlock();

        std::unique_ptr<Listing> listing = ListFolder(lister, path);

        lock.lock();
        --in_flight_;
        // A walk that started anew, or a folder the writer has gone past (one it chose not to
        // walk): nothing here will be asked for.
        if (generation != generation_ || key < writer_at_) {
            WakeIdleWorkers();  // the limit may have freed a place
            continue;
        }
        const std::u16string_view names = listing->names;
        const char16_t separator = path.back();
        uint32_t child = 0;
        for (const Item& item : listing->items) {
            const std::u16string_view name = names.substr(item.name_offset, item.name_units);
            platform::DirEntry entry;
            entry.name = name;
            entry.folder = item.folder;
            entry.no_enter = item.no_enter;
            if (!platform::IsEnteredFolder(entry)) continue;
            Key child_key = key;
            child_key.push_back(child++);
            std::u16string child_path = path;
            child_path += name;
            child_path += separator;
            key_of_path_[child_path] = child_key;
            queue_.emplace(std::move(child_key), std::move(child_path));
        }
        done_.emplace(key, std::move(listing));
        // Wake-ups cost more than listing a small folder: only the ones that are needed.
        if (writer_waiting_ && key == writer_at_) listing_ready_.notify_one();
        if (child > 1) WakeIdleWorkers();
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
    for (auto it = done_.begin(); it != done_.end() && it->first < key;) it = done_.erase(it);
}

bool PrefetchListing::Open(const std::u16string& folder) {
    current_.reset();
    std::unique_lock lock(mutex_);
    auto known = key_of_path_.find(folder);
    if (known == key_of_path_.end()) {
        StartWalk(folder);
        known = key_of_path_.find(folder);
    }
    const Key key = known->second;
    key_of_path_.erase(known);
    DropBefore(key);
    writer_at_ = key;
    if (done_.count(key) == 0) {
        writer_waiting_ = true;
        WakeIdleWorkers();  // past the limit, they wait for exactly this
        listing_ready_.wait(lock, [&] { return done_.count(key) != 0; });
        writer_waiting_ = false;
    }
    auto found = done_.find(key);
    current_ = std::move(found->second);
    done_.erase(found);
    position_ = 0;
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
    current_.reset();
}

}  // namespace corvella
