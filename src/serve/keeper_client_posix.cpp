#include "platform/local_socket.h"
#include "serve/keeper_client.h"

namespace corvella {

namespace {

class SocketLine final : public KeeperLine {
  public:
    explicit SocketLine(platform::Descriptor fd) : fd_(std::move(fd)) {
        platform::SetSocketTimeouts(fd_.get(), kKeeperReadMs, kKeeperWriteMs);
    }
    bool Send(const uint8_t* data, size_t size) override {
        return platform::SendAll(fd_.get(), data, size);
    }
    bool Receive(uint8_t* data, size_t size) override {
        return platform::ReceiveAll(fd_.get(), data, size);
    }

  private:
    platform::Descriptor fd_;
};

}  // namespace

std::unique_ptr<KeeperLine> OpenKeeperLine(const std::u16string& cache_path) {
    std::u16string problem;
    const std::optional<std::string> path = platform::KeeperSocketPath(cache_path, false, problem);
    if (!path) return nullptr;
    std::optional<platform::Descriptor> fd = platform::ConnectSocket(*path, kKeeperConnectMs);
    if (!fd) return nullptr;
    return std::make_unique<SocketLine>(std::move(*fd));
}

}  // namespace corvella
