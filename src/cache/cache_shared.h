// The process-wide cache object: the cache file's path and the locks that every thread touching
// the cache file shares.
//
// Lock order: SearchLock, then CacheFileLock, then the path lock. Every open of the cache file
// by the caching thread, a processor thread or a search is made while holding CacheFileLock and
// closed before it is released; the opens are exclusive, so the lock is what keeps this
// process's own threads from failing on each other.
#pragma once

#include <mutex>
#include <string>

namespace corvella {

class CCacheShared {
  public:
    static CCacheShared& Instance();

    std::recursive_mutex& CacheFileLock() { return cache_file_lock_; }
    std::recursive_mutex& SearchLock() { return search_lock_; }

    std::u16string GetCachePath() const;
    void SetCachePath(std::u16string path);
    // The data folder joined with key "filepath" of section "CACHEFILE" in the settings file
    // (default "default.db"). Called once at start-up, before other threads exist.
    void LoadCachePath(const std::u16string& data_folder, const std::u16string& settings_path);
    bool CacheFileExists() const;

  private:
    CCacheShared() = default;

    std::recursive_mutex cache_file_lock_;
    std::recursive_mutex search_lock_;
    std::u16string cache_path_;
    mutable std::recursive_mutex path_lock_;
};

// The state file that belongs to a cache file: "stateinfo.ini" in the same folder.
std::u16string StatePathFor(const std::u16string& cache_path);

}  // namespace corvella
