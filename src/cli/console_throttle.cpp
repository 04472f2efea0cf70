#include "cli/console_throttle.h"

namespace corvella {

std::optional<std::u16string> ProgressThrottle::Offer(std::u16string_view text, uint32_t now_ms) {
    // Unsigned, so that a clock that wrapped since the last line still counts forward.
    if (wrote_any_ && uint32_t(now_ms - last_write_ms_) < interval_ms_) {
        held_ = std::u16string(text);
        return std::nullopt;
    }
    return Written(std::u16string(text), now_ms);
}

std::optional<std::u16string> ProgressThrottle::Flush(uint32_t now_ms) {
    if (!held_) return std::nullopt;
    return Written(*std::move(held_), now_ms);
}

std::optional<std::u16string> ProgressThrottle::Written(std::u16string text, uint32_t now_ms) {
    wrote_any_ = true;
    last_write_ms_ = now_ms;
    held_.reset();
    return text;
}

}  // namespace corvella
