// How often progress reaches a log. On a terminal a progress text rewrites one line in place;
// anywhere else (a file, a pipe, a service's journal) each text is a line of its own, and a
// build reports every thousand entries: thousands of lines for one build of a disk. There a text
// is written only when the last line written is at least an interval old. The texts between are
// held back, and the last of them is written when the progress ends, so that a log still shows
// how the build ended (its summary) or where it was when an error came. The caller passes the
// time, from a 32-bit millisecond clock that may wrap, so the rule can be tried without waiting.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace corvella {

class ProgressThrottle {
  public:
    static constexpr uint32_t kIntervalMs = 5000;

    explicit ProgressThrottle(uint32_t interval_ms = kIntervalMs) : interval_ms_(interval_ms) {}

    // The text to write now, or nothing when it is held back.
    std::optional<std::u16string> Offer(std::u16string_view text, uint32_t now_ms);
    // At the end of the progress: the last text held back, if one is.
    std::optional<std::u16string> Flush(uint32_t now_ms);

  private:
    std::optional<std::u16string> Written(std::u16string text, uint32_t now_ms);

    uint32_t interval_ms_;
    bool wrote_any_ = false;
    uint32_t last_write_ms_ = 0;
    std::optional<std::u16string> held_;
};

}  // namespace corvella
