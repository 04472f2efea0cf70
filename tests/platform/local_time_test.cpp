// Local calendar days as FILETIME bounds.
#include "platform/local_time.h"

#include <gtest/gtest.h>

namespace corvella {
namespace {

constexpr uint64_t kMs = 10000, kDay = 86400000 * kMs;

TEST(LocalDay, BoundsOfADayAndDaysThatDoNotExist) {
    uint64_t from = 0, to = 0, next = 0, t = 0;
    ASSERT_TRUE(platform::LocalDayToFileTime(2024, 1, 15, false, from));
    ASSERT_TRUE(platform::LocalDayToFileTime(2024, 1, 15, true, to));
    ASSERT_TRUE(platform::LocalDayToFileTime(2024, 1, 16, false, next));
    EXPECT_EQ(to - from, kDay - kMs);  // 00:00:00.000 to 23:59:59.999
    EXPECT_EQ(next - from, kDay);
    // Whatever the zone, within 14 hours of 2024-01-15 00:00 UTC.
    const int64_t offset = int64_t(from) - 133497216000000000LL;
    EXPECT_LE(offset < 0 ? -offset : offset, int64_t(14 * 3600 * 1000 * kMs));
    EXPECT_TRUE(platform::LocalDayToFileTime(2999, 12, 31, true, t));  // past 32-bit time
    EXPECT_GT(t, next);
    EXPECT_TRUE(platform::LocalDayToFileTime(2024, 2, 29, false, t));
    for (const auto& [y, m, d] : {std::tuple{2023, 2, 29}, {2024, 4, 31}, {2024, 13, 1}, {1600, 1, 1}})
        EXPECT_FALSE(platform::LocalDayToFileTime(y, m, d, false, t)) << y << "-" << m << "-" << d;
}

}  // namespace
}  // namespace corvella
