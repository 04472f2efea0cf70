// A libFuzzer target for what the keeper and its clients read from each other: the request a
// keeper decodes from any process of its user, and the answer a client decodes from a keeper.
// Whatever the bytes, decoding may not crash, read past them or reserve memory from a count the
// bytes cannot back; and a body it accepts must encode back to exactly those bytes, so that no
// field is dropped, clamped or read two ways. The first input byte picks the side.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "serve/protocol.h"

namespace {

using namespace corvella::serve;

void Require(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "request_fuzz: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t* body = data + 1;
    const size_t length = size - 1;
    if (data[0] & 1) {
        if (const auto answer = DecodeAnswer(body, length)) {
            const Bytes again = EncodeAnswer(*answer);
            Require(again == Bytes(body, body + length), "an answer does not encode back");
        }
    } else if (const auto request = DecodeRequest(body, length)) {
        const Bytes again = EncodeRequest(*request);
        Require(again == Bytes(body, body + length), "a request does not encode back");
        Require(request->threads >= 1 && request->threads <= corvella::kMostWalkThreads,
                "a thread count out of bounds was accepted");
    }
    return 0;
}
