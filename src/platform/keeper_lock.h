// The keeper's hold on a cache file.
//
// One process at a time keeps a cache current: a second keeper would take the first one's
// unfinished state for a crashed run and build under it. The hold is a lock on a small file
// beside the cache (the cache path + ".keeper"), taken without waiting and held for the life of
// the keeper, with the holder's process id written in it so that the one refused can say who
// keeps the cache. The lock, not the file, is what counts: the system drops it when its process
// ends, however it ends, so a file left behind by a crashed keeper holds nothing. The file is
// never removed, since removing it would let a second keeper lock a new file while the first
// still holds the old one.
//
// POSIX: flock(LOCK_EX|LOCK_NB) on the open file. Windows: the file is opened for writing with
// read sharing only, so a second writer meets a sharing violation while readers can still read
// the id.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#ifdef _WIN32
#include "platform/handle_win.h"
#else
#include "platform/fd_posix.h"
#endif

namespace corvella::platform {

enum class KeeperLockOutcome {
    Held,    // this process keeps the cache now
    Taken,   // another process keeps it
    Failed,  // the lock file could not be made or opened
};

class KeeperLock {
  public:
    KeeperLock() = default;
    ~KeeperLock() { Release(); }
    KeeperLock(const KeeperLock&) = delete;
    KeeperLock& operator=(const KeeperLock&) = delete;

    // Takes the hold on `cache_path` without waiting. Taken: holder() names the keeper.
    KeeperLockOutcome Acquire(const std::u16string& cache_path);
    bool IsHeld() const;
    // The process id the holder wrote; 0 when it could not be read.
    uint32_t holder() const { return holder_; }
    void Release();

  private:
    uint32_t holder_ = 0;
#ifdef _WIN32
    FileHandle file_;
#else
    Descriptor fd_;
#endif
};

// The id of the process keeping `cache_path` (0 when it could not be read), or nothing when no
// keeper holds it. For readers that must not take what a keeper is still building for a cache.
std::optional<uint32_t> KeeperOf(const std::u16string& cache_path);

inline std::u16string KeeperLockPath(const std::u16string& cache_path) {
    return cache_path + u".keeper";
}

}  // namespace corvella::platform
