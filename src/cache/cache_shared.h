// The locks that every thread touching the cache file shares, and where the cache file and its
// state file live. The path itself is no one's global: whoever builds, searches, watches or
// defragments is given it.
//
// Lock order: SearchLock, then CacheFileLock. Every open of the cache file by the caching
// thread, a processor thread or a search is made while holding CacheFileLock and closed before
// it is released; a writer's open is exclusive, so the lock is what keeps this process's own
// threads from failing on each other.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace corvella {

class CCacheShared {
  public:
    static CCacheShared& Instance();

    std::recursive_mutex& CacheFileLock() { return cache_file_lock_; }
    std::recursive_mutex& SearchLock() { return search_lock_; }

    // The cache generation: every writer of a cache file in this process bumps it, holding
    // CacheFileLock, once its writes are in the file. Whatever was derived from the file under
    // an older generation may no longer agree with it.
    uint64_t Generation() const { return generation_.load(std::memory_order_acquire); }
    void BumpGeneration() { generation_.fetch_add(1, std::memory_order_acq_rel); }

  private:
    CCacheShared() = default;

    std::recursive_mutex cache_file_lock_;
    std::recursive_mutex search_lock_;
    std::atomic<uint64_t> generation_{0};
};

// The data folder joined with key "filepath" of section "CACHEFILE" in the settings file
// (default "default.db").
std::u16string CachePathFromSettings(const std::u16string& data_folder,
                                     const std::u16string& settings_path);

// The state file that belongs to a cache file: "stateinfo.ini" in the same folder.
std::u16string StatePathFor(const std::u16string& cache_path);

}  // namespace corvella
