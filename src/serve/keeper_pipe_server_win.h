// The desktop program's side of the pipe: one thread that serves one client at a time on one
// pipe instance, the request and the answer each a frame, every wait bounded (a client that
// stalls holds the pipe for seconds at most, and the next client meanwhile walks the file
// itself). After its answer the server waits, briefly, for the client to close its end before
// disconnecting, since disconnecting throws away what the client has not yet read. The
// instance is kept from client to client, so that the name is never free for another program
// to take. Stop sets an event every wait also waits on, and joins the thread.
#pragma once

#include <functional>
#include <string>
#include <thread>

#include "platform/handle_win.h"
#include "serve/protocol.h"

namespace corvella {

class KeeperPipeServer {
  public:
    // A request's body in, the answer's body out; an empty answer ends the connection.
    using Handler = std::function<serve::Bytes(const serve::Bytes& request)>;

    explicit KeeperPipeServer(Handler handler) : handler_(std::move(handler)) {}
    ~KeeperPipeServer() { Stop(); }
    KeeperPipeServer(const KeeperPipeServer&) = delete;
    KeeperPipeServer& operator=(const KeeperPipeServer&) = delete;

    // False when the pipe could not be made, its name taken by another program among others.
    bool Start(const std::wstring& name);
    void Stop();

  private:
    void Loop();
    void ServeClient();

    Handler handler_;
    platform::FileHandle pipe_;
    platform::Handle stop_;
    std::thread thread_;
};

}  // namespace corvella
