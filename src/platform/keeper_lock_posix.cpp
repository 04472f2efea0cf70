#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/keeper_lock.h"
#include "platform/text.h"

namespace corvella::platform {

namespace {

uint32_t ReadHolder(int fd) {
    char text[16] = {};
    const ssize_t got = ::pread(fd, text, sizeof text - 1, 0);
    if (got <= 0) return 0;
    uint32_t id = 0;
    for (ssize_t i = 0; i < got && text[i] >= '0' && text[i] <= '9'; ++i)
        id = id * 10 + uint32_t(text[i] - '0');
    return id;
}

}  // namespace

KeeperLockOutcome KeeperLock::Acquire(const std::u16string& cache_path) {
    Release();
    const std::string path = ToUtf8(KeeperLockPath(cache_path));
    Descriptor fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
    if (!fd.IsOpen()) return KeeperLockOutcome::Failed;
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK) return KeeperLockOutcome::Failed;
        holder_ = ReadHolder(fd.get());
        return KeeperLockOutcome::Taken;
    }
    holder_ = uint32_t(::getpid());
    const std::string id = std::to_string(holder_) + "\n";
    // The id is for messages only: a file it could not be written to still locks.
    if (::ftruncate(fd.get(), 0) == 0) (void)!::pwrite(fd.get(), id.data(), id.size(), 0);
    fd_ = std::move(fd);
    return KeeperLockOutcome::Held;
}

bool KeeperLock::IsHeld() const {
    return fd_.IsOpen();
}

void KeeperLock::Release() {
    fd_.Close();
}

std::optional<uint32_t> KeeperOf(const std::u16string& cache_path) {
    const std::string path = ToUtf8(KeeperLockPath(cache_path));
    Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.IsOpen()) return std::nullopt;  // no keeper has ever run here
    // A shared lock is refused only while a keeper holds its exclusive one.
    if (::flock(fd.get(), LOCK_SH | LOCK_NB) == 0 || errno != EWOULDBLOCK) return std::nullopt;
    return ReadHolder(fd.get());
}

}  // namespace corvella::platform
