// The file image: the KiB rule, the record writer, and the worked example of a whole file.
#include <gtest/gtest.h>

#include "cache/cache_format.h"
#include "cache/cache_shared.h"
#include "cache/cacher.h"
#include "cache/entry_record.h"
#include "support/test_tree.h"

namespace corvella {
namespace {

using test::FakeTree;

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

// One drive C: holding folder a, which holds the 3,000-byte file x.txt.
TEST(WorkedExample, BuildIsByteForByteTheDocumentedFile) {
    test::TempDir dir;
    const uint64_t time_a = 0x01D9'0000'1111'2222ull, time_x = 0x01DA'0000'3333'4444ull;
    FakeTree tree;
    tree.Add(u"C:\\", {u"a", true, 0, time_a});
    tree.Add(u"C:\\a\\", {u"x.txt", false, 3000, time_x});

    ASSERT_TRUE(test::BuildFake(tree, {u"C:\\"}, dir.U16("example.db")));

    const std::vector<uint8_t> f = test::ReadBytes(dir.path() / "example.db");
    ASSERT_EQ(f.size(), 131128u);
    std::vector<uint8_t> expected(131128, 0);
    auto put16 = [&](uint32_t at, uint16_t v) { Store16(&expected[at], v); };
    auto put32 = [&](uint32_t at, uint32_t v) { Store32(&expected[at], v); };
    auto put64 = [&](uint32_t at, uint64_t v) { Store64(&expected[at], v); };
    auto name = [&](uint32_t at, std::u16string_view s) {
        for (char16_t c : s) put16(at, c), at += 2;
        put16(at, 0);
    };
    put32(0, 1);
    put32(100, 131128);
    put32(104, 131128);
    put32(128, 0xFFFFFFFF);
    put32(132, 26);
    put16(136, 2), name(138, u"C:"), put32(144, 131072), put64(148, 0);
    put16(156, 0);
    put32(131072, 24);
    put16(131076, 2), name(131078, u"a"), put32(131082, 131096), put64(131086, time_a);
    put16(131094, 0);
    put32(131096, 32);
    put16(131100, 1), name(131102, u"x.txt"), put32(131114, 3), put64(131118, time_x);
    put16(131126, 0);
    for (size_t i = 0; i < f.size(); ++i) ASSERT_EQ(f[i], expected[i]) << "at offset " << i;
}

}  // namespace
}  // namespace corvella
