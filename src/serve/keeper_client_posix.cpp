#include <cstdlib>
#include <cstring>

#include "platform/local_socket.h"
#include "serve/keeper_client.h"

namespace corvella {

namespace {

// A keeper answers a connection at once; the answer itself may take a long walk.
constexpr int kConnectTimeoutMs = 300;
constexpr int kWriteTimeoutMs = 2000;
constexpr int kReadTimeoutMs = 15000;
// The answer's room grows as it arrives, so that a length the keeper promised but did not
// send costs nothing.
constexpr size_t kReadStep = size_t(1) << 20;

bool KeeperRefused() {
    const char* no = std::getenv("CORVELLA_NO_KEEPER");
    return no != nullptr && no[0] != '\0' && std::strcmp(no, "0") != 0;
}

}  // namespace

std::optional<serve::SearchAnswer> AskKeeper(const SearchRequest& request) {
    if (KeeperRefused()) return std::nullopt;
    std::u16string problem;
    const std::optional<std::string> path =
        platform::KeeperSocketPath(request.cache_path, false, problem);
    if (!path) return std::nullopt;
    const std::optional<platform::Descriptor> fd =
        platform::ConnectSocket(*path, kConnectTimeoutMs);
    if (!fd) return std::nullopt;
    platform::SetSocketTimeouts(fd->get(), kReadTimeoutMs, kWriteTimeoutMs);
    const serve::Bytes body = serve::EncodeRequest(request);
    const auto head = serve::FrameHead(body.size());
    uint8_t answer_head[4];
    if (body.size() > serve::kMostRequestBytes ||
        !platform::SendAll(fd->get(), head.data(), head.size()) ||
        !platform::SendAll(fd->get(), body.data(), body.size()) ||
        !platform::ReceiveAll(fd->get(), answer_head, 4))
        return std::nullopt;
    const std::optional<size_t> length = serve::FrameLength(answer_head, serve::kMostAnswerBytes);
    if (!length) return std::nullopt;
    serve::Bytes answer;
    while (answer.size() < *length) {
        const size_t at = answer.size();
        answer.resize(std::min(*length, at + kReadStep));
        if (!platform::ReceiveAll(fd->get(), answer.data() + at, answer.size() - at))
            return std::nullopt;
    }
    std::optional<serve::SearchAnswer> decoded = serve::DecodeAnswer(answer.data(), answer.size());
    if (!decoded || decoded->status != serve::AnswerStatus::Answered) return std::nullopt;
    return decoded;
}

}  // namespace corvella
