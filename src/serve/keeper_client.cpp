#include "serve/keeper_client.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace corvella {

namespace {

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
    const serve::Bytes body = serve::EncodeRequest(request);
    if (body.size() > serve::kMostRequestBytes) return std::nullopt;
    const std::unique_ptr<KeeperLine> line = OpenKeeperLine(request.cache_path);
    if (!line) return std::nullopt;
    // One send for the whole (short) request: the keeper wakes once for it.
    const auto head = serve::FrameHead(body.size());
    serve::Bytes frame(head.begin(), head.end());
    frame.insert(frame.end(), body.begin(), body.end());
    uint8_t answer_head[4];
    if (!line->Send(frame.data(), frame.size()) || !line->Receive(answer_head, 4))
        return std::nullopt;
    const std::optional<size_t> length = serve::FrameLength(answer_head, serve::kMostAnswerBytes);
    if (!length) return std::nullopt;
    serve::Bytes answer;
    while (answer.size() < *length) {
        const size_t at = answer.size();
        answer.resize(std::min(*length, at + kReadStep));
        if (!line->Receive(answer.data() + at, answer.size() - at)) return std::nullopt;
    }
    std::optional<serve::SearchAnswer> decoded = serve::DecodeAnswer(answer.data(), answer.size());
    if (!decoded || decoded->status != serve::AnswerStatus::Answered) return std::nullopt;
    return decoded;
}

}  // namespace corvella
