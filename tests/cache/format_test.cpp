// The KiB rule at the sizes no test tree holds. The layout of a whole file is read field by field
// by the independent reader in tools/verify_index.py.
#include <gtest/gtest.h>

#include "cache/cache_format.h"

namespace corvella {
namespace {

TEST(KiBRule, CountsWholeKiBPlusOneAndSaturates) {
    // 1024 gives 2, not 1: whole KiB plus one; the largest sizes would wrap in 32 bits.
    const std::pair<uint64_t, uint32_t> rows[] = {{0, 0},
                                                  {1, 1},
                                                  {1023, 1},
                                                  {1024, 2},
                                                  {3000, 3},
                                                  {5ull << 30, 5242881u},
                                                  {0xFFFFFFFEull * 1024, 0xFFFFFFFFu},
                                                  {~0ull, 0xFFFFFFFFu}};
    for (const auto& [bytes, kib] : rows) EXPECT_EQ(SizeInKiB(bytes), kib) << bytes;
}

}  // namespace
}  // namespace corvella
