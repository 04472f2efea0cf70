// Progress off a terminal: at most a line per interval, and the last text at the end.
#include "cli/console_throttle.h"

#include <gtest/gtest.h>

#include <vector>

namespace corvella {
namespace {

struct Step {
    uint32_t now_ms;
    const char16_t* offered;  // nullptr: the progress ends (Flush)
    const char16_t* written;  // nullptr: nothing
};

void Play(const std::vector<Step>& steps) {
    ProgressThrottle throttle(5000);
    for (const Step& s : steps) {
        SCOPED_TRACE(s.now_ms);
        const std::optional<std::u16string> line =
            s.offered ? throttle.Offer(s.offered, s.now_ms) : throttle.Flush(s.now_ms);
        EXPECT_EQ(line.value_or(u"(nothing)"), s.written ? s.written : u"(nothing)");
    }
}

TEST(ProgressThrottle, WritesALinePerIntervalAndTheLastTextAtTheEnd) {
    Play({
        {0, u"1000 items", u"1000 items"},  // the first at once: the build has started
        {1000, u"2000 items", nullptr},
        {4999, u"3000 items", nullptr},
        {5000, u"4000 items", u"4000 items"},  // an interval after the last line
        {6000, u"5000 items", nullptr},
        {6500, u"Finished", nullptr},
        {6600, nullptr, u"Finished"},  // the last text held back, not the first
        {6700, nullptr, nullptr},      // once
        {9000, u"again", nullptr},     // the line at the end counts as one
        {11600, u"later", u"later"},
        {12000, nullptr, nullptr},  // nothing held: the last text was written
    });
}

TEST(ProgressThrottle, CountsOnWhenTheClockWraps) {
    Play({
        {0xFFFFF000u, u"a", u"a"},
        {0xFFFFF100u, u"b", nullptr},  // 256 ms later, before the wrap
        {0x00000387u, u"b", nullptr},  // 4999 ms later
        {0x00000388u, u"c", u"c"},     // 5000 ms later
    });
}

}  // namespace
}  // namespace corvella
