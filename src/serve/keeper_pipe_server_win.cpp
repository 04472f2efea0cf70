#include "serve/keeper_pipe_server_win.h"

#include <new>

#include "platform/local_pipe_win.h"

namespace corvella {

namespace {

// A client has this long to send its request, and to take each part of its answer.
constexpr DWORD kReadTimeoutMs = 5000;
constexpr DWORD kWriteTimeoutMs = 30000;
// How long a client may take to close its end after the answer.
constexpr DWORD kCloseTimeoutMs = 5000;

}  // namespace

bool KeeperPipeServer::Start(const std::wstring& name) {
    stop_.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    pipe_ = platform::MakePipeInstance(name, /*first=*/true);
    if (!stop_ || !pipe_) {
        pipe_.Close();
        return false;
    }
    try {
        thread_ = std::thread([this] { Loop(); });
    } catch (const std::system_error&) {
        pipe_.Close();
        return false;
    }
    return true;
}

void KeeperPipeServer::Stop() {
    if (thread_.joinable()) {
        SetEvent(stop_.get());
        thread_.join();
    }
    pipe_.Close();
    stop_.Close();
}

void KeeperPipeServer::Loop() {
    while (WaitForSingleObject(stop_.get(), 0) != WAIT_OBJECT_0) {
        if (platform::AwaitPipeClient(pipe_.get(), stop_.get())) ServeClient();
        DisconnectNamedPipe(pipe_.get());
    }
}

void KeeperPipeServer::ServeClient() {
    const HANDLE pipe = pipe_.get(), stop = stop_.get();
    uint8_t head[4];
    if (!platform::PipeRead(pipe, stop, head, 4, kReadTimeoutMs)) return;
    const std::optional<size_t> length = serve::FrameLength(head, serve::kMostRequestBytes);
    if (!length) return;
    serve::Bytes request(*length);
    if (!platform::PipeRead(pipe, stop, request.data(), request.size(), kReadTimeoutMs)) return;
    serve::Bytes answer;
    // Memory running out for one answer ends its connection, not the program.
    try {
        answer = handler_(request);
    } catch (const std::bad_alloc&) {
        return;
    }
    if (answer.empty()) return;
    const auto size = serve::FrameHead(answer.size());
    if (!platform::PipeWrite(pipe, stop, size.data(), size.size(), kWriteTimeoutMs) ||
        !platform::PipeWrite(pipe, stop, answer.data(), answer.size(), kWriteTimeoutMs))
        return;
    uint8_t more;
    platform::PipeRead(pipe, stop, &more, 1, kCloseTimeoutMs);  // ends when the client closes
}

}  // namespace corvella
