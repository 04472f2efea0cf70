#include "serve/keeper_server.h"

#include <new>
#include <system_error>

namespace corvella {

namespace {

// A client has this long to send its request, and the keeper this long per write of its
// answer to a client that does not read.
constexpr int kReadTimeoutMs = 5000;
constexpr int kWriteTimeoutMs = 30000;

}  // namespace

platform::ListenOutcome KeeperServer::Start(const std::string& path) {
    const platform::ListenOutcome outcome = listener_.Listen(path);
    if (outcome == platform::ListenOutcome::Listening)
        acceptor_ = std::thread([this] { AcceptLoop(); });
    return outcome;
}

void KeeperServer::Stop() {
    if (acceptor_.joinable()) {
        listener_.Wake();
        acceptor_.join();
    }
    {
        std::lock_guard lock(lock_);
        for (Connection& c : connections_)
            if (!c.done) platform::ShutDownSocket(c.fd.get());
    }
    Reap(true);
    listener_.Close();
}

void KeeperServer::AcceptLoop() {
    while (std::optional<platform::Descriptor> fd = listener_.Accept()) {
        if (Reap(false) >= kMostConnections) continue;  // closed here: its client walks
        std::lock_guard lock(lock_);
        Connection& c = connections_.emplace_back();
        c.fd = std::move(*fd);
        try {
            c.thread = std::thread([this, &c] { Serve(c); });
        } catch (const std::system_error&) {
            connections_.pop_back();  // no thread to be had: closed, and its client walks
        }
    }
}

size_t KeeperServer::Reap(bool all) {
    std::list<Connection> finished;
    size_t open = 0;
    {
        std::lock_guard lock(lock_);
        for (auto it = connections_.begin(); it != connections_.end();) {
            const auto next = std::next(it);
            if (all || it->done)
                finished.splice(finished.end(), connections_, it);
            else
                ++open;
            it = next;
        }
    }
    for (Connection& c : finished) c.thread.join();
    return open;  // `finished` closes their descriptors now, their threads joined
}

void KeeperServer::Serve(Connection& connection) {
    const int fd = connection.fd.get();
    platform::SetSocketTimeouts(fd, kReadTimeoutMs, kWriteTimeoutMs);
    uint8_t head[4];
    std::optional<size_t> length;
    serve::Bytes request;
    if (platform::ReceiveAll(fd, head, 4) &&
        (length = serve::FrameLength(head, serve::kMostRequestBytes))) {
        request.resize(*length);
        if (platform::ReceiveAll(fd, request.data(), request.size())) {
            serve::Bytes answer;
            // Memory running out for one answer ends its connection, not the keeper.
            try {
                answer = handler_(request);
            } catch (const std::bad_alloc&) {
            }
            if (!answer.empty()) {
                const auto size = serve::FrameHead(answer.size());
                platform::SendAll(fd, size.data(), size.size(), answer.data(), answer.size());
            }
        }
    }
    // The client learns at once that nothing more comes; the descriptor waits for Reap.
    platform::ShutDownSocket(fd);
    std::lock_guard lock(lock_);
    connection.done = true;
}

}  // namespace corvella
