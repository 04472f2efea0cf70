#include "platform/local_pipe_win.h"
#include "serve/keeper_client.h"

namespace corvella {

namespace {

class PipeLine final : public KeeperLine {
  public:
    explicit PipeLine(platform::FileHandle pipe) : pipe_(std::move(pipe)) {}
    bool Send(const uint8_t* data, size_t size) override {
        return platform::PipeWrite(pipe_.get(), nullptr, data, size, kKeeperWriteMs);
    }
    bool Receive(uint8_t* data, size_t size) override {
        return platform::PipeRead(pipe_.get(), nullptr, data, size, kKeeperReadMs);
    }

  private:
    platform::FileHandle pipe_;
};

}  // namespace

std::unique_ptr<KeeperLine> OpenKeeperLine(const std::u16string& cache_path) {
    platform::FileHandle pipe =
        platform::ConnectPipe(platform::KeeperPipeName(cache_path), kKeeperConnectMs);
    if (!pipe) return nullptr;
    return std::make_unique<PipeLine>(std::move(pipe));
}

}  // namespace corvella
