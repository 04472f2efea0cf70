// What a client and the keeper say to each other over a local socket or pipe.
//
// Every message is one frame: a 32-bit little-endian length, then that many bytes of body. The
// client sends one request and reads one answer; then the connection ends. A body opens with
// three letters naming what it is and a version byte, so that a keeper and a client of
// different versions refuse each other plainly and the client walks the file itself.
//
//   request: "CVQ" 1, u32 flags, u8 sort, u32 threads, u32 min_kb, u32 max_kb,
//            u64 date_from, u64 date_to, text cache_path, text pattern, text location,
//            text format
//   answer:  "CVA" 1, u8 status, u64 generation, u8 exit code, u32 line count,
//            line count x (u8 stream, text)
//   text:    u32 code units, then the UTF-16 code units, little-endian
//
// The peer is never trusted: every length is checked against what is left of the body and a
// fixed bound before anything is reserved for it, texts must be well-formed UTF-16, flags and
// enumerations must be ones this version knows, and a body must end where its last field does.
// Decoding a well-formed body and encoding the result again gives the same bytes (the fuzz
// target holds both sides to that).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "serve/search_request.h"

namespace corvella::serve {

inline constexpr uint8_t kVersion = 1;
// A request holds four texts; the longest a path can be on any system is 32,767 units.
inline constexpr size_t kMostTextUnits = 32768;
inline constexpr size_t kMostRequestBytes = 4 * (4 + 2 * kMostTextUnits) + 64;
// An answer is as long as the results; past this the keeper declines and the client walks,
// printing as it goes instead of holding it all.
inline constexpr size_t kMostAnswerBytes = size_t(256) << 20;

using Bytes = std::vector<uint8_t>;

// What the keeper did with a request.
enum class AnswerStatus : uint8_t {
    Answered = 0,  // the lines and the exit code are the search's
    Declined = 1,  // not this keeper's cache, or an answer too long to send: walk the file
};

struct AnswerLine {
    bool to_stderr = false;
    std::u16string text;
};

struct SearchAnswer {
    AnswerStatus status = AnswerStatus::Answered;
    // The keeper's count of writes to the cache file when the search began.
    uint64_t generation = 0;
    uint8_t exit_code = 0;
    std::vector<AnswerLine> lines;
};

Bytes EncodeRequest(const SearchRequest& request);
std::optional<SearchRequest> DecodeRequest(const uint8_t* body, size_t size);

Bytes EncodeAnswer(const SearchAnswer& answer);
std::optional<SearchAnswer> DecodeAnswer(const uint8_t* body, size_t size);

// The length at the head of a frame, if it is one a body may have (at most `most`).
std::optional<size_t> FrameLength(const uint8_t head[4], size_t most);
// The head of a frame whose body is `length` bytes.
std::array<uint8_t, 4> FrameHead(size_t length);

}  // namespace corvella::serve
