#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/local_socket.h"
#include "platform/text.h"

namespace corvella::platform {

namespace {

constexpr int kBacklog = 16;

bool PeerIsThisUser(int fd) {
    struct ucred peer {};
    socklen_t size = sizeof peer;
    return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && size == sizeof peer &&
           peer.uid == ::geteuid();
}

bool AddressOf(const std::string& path, sockaddr_un& address) {
    address = {};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

}  // namespace

std::optional<std::string> KeeperSocketPath(const std::u16string& cache_path, bool make_folder,
                                            std::u16string& problem) {
    problem.clear();
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime == nullptr || runtime[0] != '/') return std::nullopt;
    const std::string folder = std::string(runtime) + "/corvella";
    if (make_folder && ::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        problem = u"cannot make the folder " + FromUtf8(folder);
        return std::nullopt;
    }
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0) {
        if (make_folder) problem = u"cannot read the folder " + FromUtf8(folder);
        return std::nullopt;
    }
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() || (st.st_mode & 077) != 0) {
        problem = FromUtf8(folder) + u" is not a folder of this user's alone (mode 0700)";
        return std::nullopt;
    }
    std::string path = folder + "/" + StableHashName(cache_path) + ".sock";
    sockaddr_un address;
    if (!AddressOf(path, address)) {
        problem = u"the socket's path " + FromUtf8(path) + u" is too long";
        return std::nullopt;
    }
    return path;
}

ListenOutcome SocketListener::Listen(const std::string& path) {
    Close();
    sockaddr_un address;
    if (!AddressOf(path, address)) return ListenOutcome::Failed;
    Descriptor fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd.IsOpen()) return ListenOutcome::Failed;
    const auto bind = [&] {
        return ::bind(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    };
    if (!bind()) {
        if (errno != EADDRINUSE) return ListenOutcome::Failed;
        // Only one keeper holds a cache, so a socket still answering here is some other
        // program's; one that does not is what a keeper that died left behind.
        if (ConnectSocket(path, 200)) return ListenOutcome::Occupied;
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode) ||
            ::unlink(path.c_str()) != 0 || !bind())
            return ListenOutcome::Failed;
    }
    struct stat st {};
    int ends[2];
    if (::listen(fd.get(), kBacklog) != 0 || ::lstat(path.c_str(), &st) != 0 ||
        ::pipe2(ends, O_CLOEXEC) != 0) {
        ::unlink(path.c_str());
        return ListenOutcome::Failed;
    }
    wake_read_.Reset(ends[0]);
    wake_write_.Reset(ends[1]);
    fd_ = std::move(fd);
    path_ = path;
    device_ = st.st_dev;
    inode_ = st.st_ino;
    return ListenOutcome::Listening;
}

std::optional<Descriptor> SocketListener::Accept() {
    for (;;) {
        pollfd waits[2] = {{fd_.get(), POLLIN, 0}, {wake_read_.get(), POLLIN, 0}};
        if (::poll(waits, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        if (waits[1].revents != 0) return std::nullopt;
        Descriptor connection(::accept4(fd_.get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (!connection.IsOpen()) {
            if (errno == EAGAIN || errno == EINTR || errno == ECONNABORTED) continue;
            // Out of descriptors or memory: the pending connection stays queued, so wait a
            // little (still wakeable) rather than spin on it.
            pollfd wake = {wake_read_.get(), POLLIN, 0};
            if (::poll(&wake, 1, 100) > 0) return std::nullopt;
            continue;
        }
        if (PeerIsThisUser(connection.get())) return connection;
    }
}

void SocketListener::Wake() {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(wake_write_.get(), &byte, 1);
}

void SocketListener::Close() {
    fd_.Close();
    if (!path_.empty()) {
        // A keeper started after this one replaced the file: that one is not ours to remove.
        struct stat st {};
        if (::lstat(path_.c_str(), &st) == 0 && st.st_dev == device_ && st.st_ino == inode_)
            ::unlink(path_.c_str());
        path_.clear();
    }
    wake_write_.Close();
    wake_read_.Close();
}

std::optional<Descriptor> ConnectSocket(const std::string& path, int timeout_ms) {
    sockaddr_un address;
    if (!AddressOf(path, address)) return std::nullopt;
    Descriptor fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd.IsOpen()) return std::nullopt;
    // A Unix socket's connect waits for room in the listener's queue as long as a send would.
    SetSocketTimeouts(fd.get(), timeout_ms, timeout_ms);
    int made;
    do {
        made = ::connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address);
    } while (made != 0 && errno == EINTR);
    if (made != 0 || !PeerIsThisUser(fd.get())) return std::nullopt;
    return fd;
}

void SetSocketTimeouts(int fd, int read_timeout_ms, int write_timeout_ms) {
    const timeval read_timeout{read_timeout_ms / 1000, (read_timeout_ms % 1000) * 1000};
    const timeval write_timeout{write_timeout_ms / 1000, (write_timeout_ms % 1000) * 1000};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &read_timeout, sizeof read_timeout);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &write_timeout, sizeof write_timeout);
}

bool SendAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t sent = ::send(fd, data, size, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) return false;
        data += sent;
        size -= size_t(sent);
    }
    return true;
}

bool SendAll(int fd, const uint8_t* head, size_t head_size, const uint8_t* body,
             size_t body_size) {
    iovec parts[2] = {{const_cast<uint8_t*>(head), head_size},
                      {const_cast<uint8_t*>(body), body_size}};
    msghdr message{};
    message.msg_iov = parts;
    message.msg_iovlen = 2;
    while (parts[0].iov_len + parts[1].iov_len > 0) {
        const ssize_t sent = ::sendmsg(fd, &message, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) return false;
        size_t left = size_t(sent);
        for (iovec& part : parts) {
            const size_t taken = left < part.iov_len ? left : part.iov_len;
            part.iov_base = static_cast<uint8_t*>(part.iov_base) + taken;
            part.iov_len -= taken;
            left -= taken;
        }
    }
    return true;
}

bool ReceiveAll(int fd, uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t got = ::recv(fd, data, size, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        data += got;
        size -= size_t(got);
    }
    return true;
}

void ShutDownSocket(int fd) {
    ::shutdown(fd, SHUT_RDWR);
}

}  // namespace corvella::platform
