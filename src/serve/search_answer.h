// What `corvella search` says for one request: its result lines on stdout, its messages on
// stderr and its exit code. The command line's own search and the keeper both run a search
// engine (search_engine.h) and print its answer with PrintAnswer, so that an answer served by
// the keeper is the command line's by construction;
// RecordingConsole keeps the lines for the keeper to send, and PlayBack prints them on the
// client's side.
#pragma once

#include <cstdint>
#include <vector>

#include "cli/console.h"
#include "search/search_engine.h"
#include "serve/protocol.h"
#include "serve/search_request.h"

namespace corvella {

// Says what `answer`, the engine's answer to the request, comes to; returns the exit code.
int PrintAnswer(const SearchRequest& request, EngineAnswer& answer, Console& console);

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

// What a keeper of `cache_path` answers to a request's body from `engine` (the keeper's own,
// on all its cores); nothing for what is not a request. A request for another cache, or an
// answer too long to send, is declined. Answers are made under SearchLock, one at a time, as
// the engine wants, and so at most one answer's lines are held while they are made.
serve::Bytes AnswerRequestBody(const serve::Bytes& body, const std::u16string& cache_path,
                               SearchEngine& engine);

}  // namespace corvella
