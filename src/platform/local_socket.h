// Unix sockets private to this user, one per cache file, through which the keeper answers
// searches.
//
// They live in $XDG_RUNTIME_DIR/corvella/, a folder that must be this user's and of mode 0700
// (made so when missing, refused otherwise: a folder others can enter or write would let them
// put a socket of their own where a client looks). A socket is named by a hash of the cache
// file's absolute path. Without $XDG_RUNTIME_DIR there are no sockets: the keeper serves no one
// and clients walk the file. Both ends check that the peer runs as this user (SO_PEERCRED).
//
// Every wait is bounded: connecting, reading and writing carry timeouts, and the listener's
// wait for a connection can be woken from another thread.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/fd_posix.h"

namespace corvella::platform {

// Where the keeper of `cache_path` listens, or nothing, with why in `problem` when that is a
// fault to tell (a folder that is not private); an empty `problem` means there is no
// $XDG_RUNTIME_DIR. `make_folder`: the keeper makes the folder, a client only looks.
std::optional<std::string> KeeperSocketPath(const std::u16string& cache_path, bool make_folder,
                                            std::u16string& problem);

enum class ListenOutcome { Listening, Occupied, Failed };

// A listening socket, removed at Close only if the file at its path is still the one it made.
class SocketListener {
  public:
    SocketListener() = default;
    ~SocketListener() { Close(); }
    SocketListener(const SocketListener&) = delete;
    SocketListener& operator=(const SocketListener&) = delete;

    // A socket left at `path` by a keeper that died is replaced; one that answers is Occupied.
    ListenOutcome Listen(const std::string& path);
    // The next connection from this user, or nothing once Wake was called (or on an error).
    // Connections from other users are closed unanswered.
    std::optional<Descriptor> Accept();
    void Wake();
    void Close();

  private:
    Descriptor fd_, wake_read_, wake_write_;
    std::string path_;
    dev_t device_ = 0;
    ino_t inode_ = 0;
};

// A connection to `path` from a peer of this user, given `timeout_ms` to be made.
std::optional<Descriptor> ConnectSocket(const std::string& path, int timeout_ms);

// Every read or write on `fd` gives up after `timeout_ms` without progress.
void SetSocketTimeouts(int fd, int read_timeout_ms, int write_timeout_ms);
// All of `size` bytes, or false (timeout, error, the peer gone). Never raises SIGPIPE.
bool SendAll(int fd, const uint8_t* data, size_t size);
// A frame's head and body in as few sends as the socket takes: the reader wakes once for a short
// frame instead of once for the head and again for the body.
bool SendAll(int fd, const uint8_t* head, size_t head_size, const uint8_t* body, size_t body_size);
bool ReceiveAll(int fd, uint8_t* data, size_t size);
// Ends both directions, waking a thread blocked on `fd`; the descriptor stays open.
void ShutDownSocket(int fd);

}  // namespace corvella::platform
