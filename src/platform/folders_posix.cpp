#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/fd_posix.h"
#include "platform/folders.h"
#include "platform/text.h"

namespace corvella::platform {

bool MakeFolder(const std::u16string& path) {
    return ::mkdir(ToUtf8(path).c_str(), 0755) == 0;
}

bool RemoveEmptyFolder(const std::u16string& path) {
    return ::rmdir(ToUtf8(path).c_str()) == 0;
}

bool CopyWholeFile(const std::u16string& from, const std::u16string& to) {
    Descriptor in(::open(ToUtf8(from).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat st {};
    if (!in.IsOpen() || ::fstat(in.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    Descriptor out(::open(ToUtf8(to).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (!out.IsOpen()) return false;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(in.get(), buffer, sizeof buffer);
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = ::write(out.get(), buffer + done, size_t(got - done));
            if (put < 0 && errno != EINTR) return false;
            if (put > 0) done += put;
        }
    }
    return ::fsync(out.get()) == 0 && out.Close();
}

bool RenameFolder(const std::u16string& from, const std::u16string& to) {
    // rename() would put an empty folder at `to` aside silently; RENAME_NOREPLACE never does.
    const std::string a = ToUtf8(from), b = ToUtf8(to);
    if (::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL) return false;
    // A file system without the flag: the check and the rename are two steps there.
    struct stat st {};
    return ::lstat(b.c_str(), &st) != 0 && errno == ENOENT && ::rename(a.c_str(), b.c_str()) == 0;
}

uint32_t ProcessId() {
    return uint32_t(::getpid());
}

}  // namespace corvella::platform
