// The keeper's side of the socket: a thread that accepts connections, and a thread for each,
// up to kMostConnections at once (one more is closed at once, and its client walks the file
// itself). A connection carries one request frame and one answer frame. Whatever a client does
// (sends garbage or a length past the bound, stalls, goes away mid-answer) ends its own
// connection only: reads and writes time out, a send to a client that left fails instead of
// raising SIGPIPE, and no connection waits for another.
//
// Stop wakes the accepting thread, ends every connection's reads and writes, joins every thread
// and removes the socket file if it is still the one this server made. A connection's
// descriptor is closed only after its thread is joined, so that ending it from Stop never
// reaches a descriptor number the system has given to something else.
#pragma once

#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <thread>

#include "platform/local_socket.h"
#include "serve/protocol.h"

namespace corvella {

class KeeperServer {
  public:
    static constexpr size_t kMostConnections = 8;
    // A request's body in, the answer's body out; an empty answer closes the connection
    // unanswered (a request that is not one).
    using Handler = std::function<serve::Bytes(const serve::Bytes& request)>;

    explicit KeeperServer(Handler handler) : handler_(std::move(handler)) {}
    ~KeeperServer() { Stop(); }
    KeeperServer(const KeeperServer&) = delete;
    KeeperServer& operator=(const KeeperServer&) = delete;

    platform::ListenOutcome Start(const std::string& path);
    void Stop();

  private:
    struct Connection {
        platform::Descriptor fd;
        std::thread thread;
        bool done = false;  // under lock_
    };
    void AcceptLoop();
    void Serve(Connection& connection);
    // Joins and closes the finished connections (all of them, when `all`); returns how many
    // are still open.
    size_t Reap(bool all);

    Handler handler_;
    platform::SocketListener listener_;
    std::thread acceptor_;
    std::mutex lock_;
    std::list<Connection> connections_;  // a list, so that a thread's Connection never moves
};

}  // namespace corvella
