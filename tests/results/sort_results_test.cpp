// What the reference search (tools/reference_search.py) cannot reach: sizes past what a test
// tree holds. It checks the five orders, their ties and the type key against its own sort.
#include "results/sort_results.h"

#include <gtest/gtest.h>

#include "support/test_tree.h"

namespace corvella {
namespace {

TEST(Sort, SizesCompareUnsigned) {
    ResultSet s;
    test::AddResult(s, u"", u"small", 1);
    test::AddResult(s, u"", u"huge", 0xFFFFFFFF);
    SortResults(s, SortKey::Size);
    EXPECT_EQ(s.Name(s.records[0]), u"huge");
}

}  // namespace
}  // namespace corvella
