// What `corvella search` says for one request: its result lines on stdout, its messages on
// stderr and its exit code. The file walk of the command line and the keeper both answer by
// calling AnswerSearch, so that an answer served by the keeper is the walk's by construction;
// RecordingConsole keeps the lines for the keeper to send, and PlayBack prints them on the
// client's side.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "cli/console.h"
#include "serve/protocol.h"
#include "serve/search_request.h"

namespace corvella {

// Runs the request over its cache file under the cache lock; returns the exit code.
int AnswerSearch(const SearchRequest& request, Console& console);

// Keeps every line in order, until they would encode to more than an answer may hold; progress
// is not part of an answer.
class RecordingConsole final : public Console {
  public:
    void Out(std::u16string_view line) override { Keep(false, line); }
    void Err(std::u16string_view line) override { Keep(true, line); }
    void Progress(std::u16string_view) override {}
    void EndProgress() override {}
    // Lines were left out: the answer is too long to send.
    bool overflow() const { return overflow_; }
    std::vector<serve::AnswerLine> lines;

  private:
    void Keep(bool to_stderr, std::u16string_view line) {
        bytes_ += 5 + 2 * line.size();  // as EncodeAnswer writes it
        if (bytes_ > serve::kMostAnswerBytes) overflow_ = true;
        if (!overflow_) lines.push_back({to_stderr, std::u16string(line)});
    }
    size_t bytes_ = 0;
    bool overflow_ = false;
};

void PlayBack(const std::vector<serve::AnswerLine>& lines, Console& console);

// What a keeper of `cache_path` answers to a request's body; nothing for what is not a request.
// A request for another cache, or an answer too long to send, is declined. One answer is made
// at a time (`answering`): they take turns on the cache lock anyway, and so at most one answer's
// lines are held while they are made. `generation`: the keeper's count of writes to the cache
// file it has finished, read once the answer's turn has come.
serve::Bytes AnswerRequestBody(const serve::Bytes& body, const std::u16string& cache_path,
                               const std::atomic<uint64_t>& generation, std::mutex& answering);

}  // namespace corvella
