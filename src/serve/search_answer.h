// What `corvella search` says for one request: its result lines on stdout, its messages on
// stderr and its exit code. The file walk of the command line and the keeper both answer by
// calling AnswerSearch, so that an answer served by the keeper is the walk's by construction;
// RecordingConsole keeps the lines for the keeper to send, and PlayBack prints them on the
// client's side.
#pragma once

#include <vector>

#include "cli/console.h"
#include "serve/protocol.h"
#include "serve/search_request.h"

namespace corvella {

// Runs the request over its cache file under the cache lock; returns the exit code.
int AnswerSearch(const SearchRequest& request, Console& console);

// Keeps every line in order; progress is not part of an answer.
class RecordingConsole final : public Console {
  public:
    void Out(std::u16string_view line) override { lines.push_back({false, std::u16string(line)}); }
    void Err(std::u16string_view line) override { lines.push_back({true, std::u16string(line)}); }
    void Progress(std::u16string_view) override {}
    void EndProgress() override {}
    std::vector<serve::AnswerLine> lines;
};

void PlayBack(const std::vector<serve::AnswerLine>& lines, Console& console);

}  // namespace corvella
