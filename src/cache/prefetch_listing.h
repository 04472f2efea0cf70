// Folder listings made ahead of the walk, on worker threads.
//
// A build spends nearly all its time in the file system: one listing per folder and, on POSIX,
// one stat per entry. The blocks must still be written in the walk's exact depth-first order, so
// the writer stays single and sequential; what runs ahead is only the listing.
//
// The workers walk the same tree in the same order as the writer will: the children of a folder
// are its folder entries other than "." and "..", and other than those marked not to be entered,
// in listing order. Each folder gets a key, the list of child indexes from the root, so that the
// keys sort in the walk's order. Workers always take the smallest key waiting, which keeps them
// just ahead of the writer, and stop taking work when too many finished listings wait, unless the
// writer is waiting for that very folder.
//
// When the writer asks for a folder, every listing with a smaller key is one it has decided not
// to walk (a skipped folder, an abandoned one) and is dropped. A folder the workers do not know
// (the root of the next drive) starts a new walk.
//
// The writer needs a fraction of the time the listers need, so it catches up with them all the
// time. Instead of sleeping until a worker gets to the folder it wants, it lists that folder
// itself when no worker has taken it yet: a third lister at no cost of a thread, and no wake-up.
// Listings are recycled once the writer is done with them, so that a build does not allocate
// and free a folder's buffers on different threads for every folder.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "cache/listing_source.h"

namespace corvella {

class PrefetchListing final : public ListingSource {
  public:
    explicit PrefetchListing(unsigned workers, size_t max_waiting_listings = 4096);
    ~PrefetchListing() override;
    PrefetchListing(const PrefetchListing&) = delete;
    PrefetchListing& operator=(const PrefetchListing&) = delete;

    bool Open(const std::u16string& folder) override;
    bool Next(platform::DirEntry& entry) override;
    void Close() override;

  private:
    using Key = std::vector<uint32_t>;
    struct Item {
        uint32_t name_offset;
        uint32_t name_units;
        uint64_t size_bytes;
        uint64_t last_write;
        bool folder;
        bool no_enter;
    };
    struct Listing {
        bool opened = false;
        std::vector<Item> items;
        std::u16string names;
    };

    void WorkerLoop();
    // Fills `listing`, which may hold an earlier folder's listing, with the folder at `path`.
    static void ListFolder(platform::DirLister& lister, const std::u16string& path,
                           Listing& listing);
    // With the lock held: queues the folders that `listing`, made for `key`, holds. Returns how
    // many.
    uint32_t QueueChildren(const Key& key, const std::u16string& path, const Listing& listing);
    std::unique_ptr<Listing> TakeSpare();  // with the lock held
    void Recycle(std::unique_ptr<Listing> listing);  // with the lock held
    void StartWalk(const std::u16string& root);
    void DropBefore(const Key& key);
    void WakeIdleWorkers();  // with the lock held

    const size_t max_waiting_;
    std::mutex mutex_;
    std::condition_variable work_ready_;     // workers wait here
    std::condition_variable listing_ready_;  // the writer waits here
    std::map<Key, std::u16string> queue_;    // folders to list, by key
    std::map<Key, std::unique_ptr<Listing>> done_;
    std::unordered_map<std::u16string, Key> key_of_path_;
    size_t in_flight_ = 0;
    unsigned idle_workers_ = 0;
    uint64_t generation_ = 0;  // a new walk makes work in flight stale
    bool writer_waiting_ = false;
    Key writer_at_;  // the folder the writer asked for last; smaller keys are never asked for
    bool stop_ = false;
    std::vector<std::unique_ptr<Listing>> spares_;  // listings done with, to be filled again
    std::vector<std::thread> workers_;

    platform::DirLister own_lister_;  // the writer's, for the folders it lists itself
    std::unique_ptr<Listing> current_;
    std::unique_ptr<Listing> finished_;  // closed by the writer, recycled at its next Open
    size_t position_ = 0;
};

}  // namespace corvella
