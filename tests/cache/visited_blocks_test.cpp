// The bitmap that keeps a walk out of a damaged file's cycles. Large files take their bitmap in
// whole 2 MB pages, trimmed to a boundary by hand: a slip there marks outside the memory or
// leaves part of the file unmarked. A bitmap reused by the next walk must forget every mark, and
// a bit must not stand for more bytes than lie between two blocks, or a walk would skip folders
// as already entered.
#include "cache/visited_blocks.h"

#include <gtest/gtest.h>

#include "cache/cache_format.h"

namespace corvella {
namespace {

TEST(VisitedBlocks, MarksEveryBlockOnceAndForgetsThemWhenCleared) {
    VisitedBlocks visited;
    // A small file, then files whose bitmaps are past a megabyte, the second larger still.
    for (const uint32_t size : {kFirstBlockOffset + 4096, 100u << 20, 100u << 20, 3000u << 20}) {
        SCOPED_TRACE(size);
        visited.Clear(size);
        const uint32_t last = (size - 8) & ~3u;
        for (const uint32_t block : {kFirstBlockOffset, kFirstBlockOffset + 8, last}) {
            EXPECT_EQ(visited.Enter(block), Visit::First);
            EXPECT_EQ(visited.Enter(block), Visit::Again);
            EXPECT_EQ(visited.EnterShared(block), Visit::Again);
        }
        EXPECT_EQ(visited.EnterShared(last - 256), Visit::First);
        EXPECT_EQ(visited.Enter(kFirstBlockOffset - 4), Visit::Outside);
        EXPECT_EQ(visited.Enter(size), Visit::Outside);
    }
    // Two blocks as close as blocks lie, wherever the first falls within a bit's bytes.
    for (uint32_t at = kFirstBlockOffset; at < kFirstBlockOffset + 12; ++at) {
        visited.Clear(kFirstBlockOffset + 4096);
        EXPECT_EQ(visited.Enter(at), Visit::First) << at;
        EXPECT_EQ(visited.EnterShared(at + kEmptyBlockBytes), Visit::First) << at;
    }
}

}  // namespace
}  // namespace corvella
